// The chat alias callback: "/tobrisk <script>" typed in a message window
// is evaluated and answered with the script's result.
#include <stdlib.h>
#include <string.h>

#include "../callbacks.h"
#include "../interp.h"
#include "../text.h"
#include "../tobrisk.h"

static const char AliasText[] = "/tobrisk";
static const char KeyboardAnswer[] = "/me slaps it's own face!";
static const char NoInterpreterAnswer[] = "no Tcl interpreter is running";

// The script is the line after the alias; a line shorter than the alias
// holds no script.
static const char *script_of(const char *line)
{
    size_t skip = sizeof AliasText - 1;
    if (line == NULL || strnlen(line, skip) < skip) return "";
    return line + skip;
}

// The answer replaces the host's line pointer; the host hands the copy
// back with "edit_aliasFree".
static int32_t edit_request(EditAliasRequest *request, void *userData)
{
    if (request == NULL || request->alias == NULL) return 1;
    if (_stricmp(request->alias, AliasText) != 0) return 1;
    Tcl_Interp *interp = (Tcl_Interp *)userData;
    if (!callbacks_interp_live(interp)) {
        request->line = _strdup(NoInterpreterAnswer);
        return 0;
    }
    Tcl_DString script;
    int outer = script_owner_chat_begins();
    tobrisk_eval(interp, text_to_tcl(script_of(request->line), &script));
    script_owner_chat_ends(outer);
    text_release(&script);
    request->line = text_host_copy(Tcl_GetStringResult(interp));
    return 0;
}

static int32_t keyboard_request(KeyboardAliasRequest *request)
{
    if (request == NULL || request->key != 't') return 1;
    request->answer = _strdup(KeyboardAnswer);
    return 0;
}

extern "C" int32_t __cdecl aliasCallback(int32_t code, int32_t unused, const char *event, void *data,
                                         void *userData)
{
    HostCall call;
    (void)code;
    (void)unused;
    if (event == NULL) return 1;
    if (_stricmp(event, "edit_aliasRequest") == 0) {
        return edit_request((EditAliasRequest *)data, userData);
    }
    if (_stricmp(event, "keyboard_aliasRequest") == 0) {
        return keyboard_request((KeyboardAliasRequest *)data);
    }
    if (_stricmp(event, "edit_aliasFree") == 0 || _stricmp(event, "keyboard_aliasFree") == 0) {
        free(data);
        return 1;
    }
    return 1;
}

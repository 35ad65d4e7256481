// Standard channels for an interpreter that has none of its own: a script's
// interpreter, and the main one in the messenger, which has no console.
//     ::tobrisk::_standard_channels PATH
// gives interpreter PATH ({} for the main one) channels named stdin,
// stdout and stderr in place of whatever it had under those names. What is
// written to stdout or stderr is handed, decoded, to PATH's own command
// `::tobrisk::_output CHANNEL TEXT`, which the supervisor points at the
// script's log; stdin is always at its end. They are channels like any
// other: fconfigure, chan configure, flush, tell, puts -nonewline.
#include <stdlib.h>
#include <string.h>

#include "../tclcmds.h"

enum StandardChannel { STANDARD_IN, STANDARD_OUT, STANDARD_ERR };
static const char *const StandardNames[] = { "stdin", "stdout", "stderr" };

struct StandardChannelState {
    Tcl_Interp *interp;     // where ::tobrisk::_output runs
    Tcl_Channel channel;
    StandardChannel which;
};

static int close_proc(ClientData data, Tcl_Interp *interp)
{
    (void)interp;
    free(data);
    return 0;
}

static int input_proc(ClientData data, char *buffer, int size, int *error)
{
    (void)data;
    (void)buffer;
    (void)size;
    *error = 0;
    return 0;
}

// The bytes come encoded with the channel's -encoding; the log takes text.
// Nothing is written while the interpreter is being deleted (its channels
// are flushed then) or when its command fails (a spent time limit): the
// writer is told the bytes went, as a console that is not read would.
static int output_proc(ClientData data, const char *bytes, int size, int *error)
{
    StandardChannelState *state = (StandardChannelState *)data;
    *error = 0;
    Tcl_Interp *interp = state->interp;
    if (Tcl_InterpDeleted(interp)) return size;
    Tcl_DString name;
    Tcl_DStringInit(&name);
    Tcl_GetChannelOption(NULL, state->channel, "-encoding", &name);
    Tcl_Encoding encoding = Tcl_GetEncoding(NULL, Tcl_DStringValue(&name));
    Tcl_DStringFree(&name);
    Tcl_DString text;
    Tcl_ExternalToUtfDString(encoding, bytes, size, &text);
    if (encoding != NULL) Tcl_FreeEncoding(encoding);

    Tcl_Obj *words[3];
    words[0] = Tcl_NewStringObj("::tobrisk::_output", -1);
    words[1] = Tcl_NewStringObj(StandardNames[state->which], -1);
    words[2] = Tcl_NewStringObj(Tcl_DStringValue(&text), Tcl_DStringLength(&text));
    Tcl_DStringFree(&text);
    Tcl_Preserve(interp);
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    for (Tcl_Obj *word : words) Tcl_IncrRefCount(word);
    Tcl_EvalObjv(interp, 3, words, TCL_EVAL_GLOBAL);
    for (Tcl_Obj *word : words) Tcl_DecrRefCount(word);
    Tcl_RestoreInterpState(interp, saved);
    Tcl_Release(interp);
    return size;
}

static void watch_proc(ClientData data, int mask)
{
    (void)data;
    (void)mask;
}

static int handle_proc(ClientData data, int direction, ClientData *handle)
{
    (void)data;
    (void)direction;
    (void)handle;
    return TCL_ERROR;
}

static const Tcl_ChannelType StandardChannelType = {
    "tobrisk-standard", TCL_CHANNEL_VERSION_5, close_proc, input_proc, output_proc,
    NULL, NULL, NULL, watch_proc, handle_proc, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
};

// Buffering as a console's: line by line for stdout, none for stderr.
static void make_channel(Tcl_Interp *interp, StandardChannel which)
{
    const char *name = StandardNames[which];
    Tcl_Channel old = Tcl_GetChannel(interp, name, NULL);
    if (old != NULL) Tcl_UnregisterChannel(interp, old);
    StandardChannelState *state = (StandardChannelState *)calloc(1, sizeof *state);
    state->interp = interp;
    state->which = which;
    state->channel = Tcl_CreateChannel(&StandardChannelType, name, state,
                                       which == STANDARD_IN ? TCL_READABLE : TCL_WRITABLE);
    Tcl_RegisterChannel(interp, state->channel);
    Tcl_SetChannelOption(NULL, state->channel, "-encoding", "utf-8");
    Tcl_SetChannelOption(NULL, state->channel, "-translation", "lf");
    if (which != STANDARD_IN) {
        Tcl_SetChannelOption(NULL, state->channel, "-buffering", which == STANDARD_OUT ? "line" : "none");
    }
}

static int standard_channels_cmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    (void)data;
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "path");
        return TCL_ERROR;
    }
    Tcl_Interp *target = Tcl_GetChild(interp, Tcl_GetString(objv[1]));
    if (target == NULL) return TCL_ERROR;
    for (int which = STANDARD_IN; which <= STANDARD_ERR; which++) make_channel(target, (StandardChannel)which);
    return TCL_OK;
}

void tclcmds_register_standard_channels(Tcl_Interp *interp)
{
    Tcl_CreateObjCommand(interp, "::tobrisk::_standard_channels", standard_channels_cmd, NULL, NULL);
}

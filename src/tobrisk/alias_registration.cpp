// Registration of the chat alias "/tobrisk". The keyboard alias is never
// registered, so its id stays -1; "stop" still unregisters it.
#include "../callbacks.h"
#include "../tobrisk.h"

static const char AliasText[] = "/tobrisk";

static int32_t g_edit_alias_id = -1;
static int32_t g_keyboard_alias_id = -1;

void alias_register(Tcl_Interp *interp)
{
    if (g_edit_alias_id != -1) return;
    AliasRegisterRecord record = {};
    record.size = sizeof record;
    record.alias_id = -1;
    record.alias = AliasText;
    record.callback = aliasCallback;
    record.userData = interp;
    g_edit_alias_id = host_send(SERVICE_editAliasRegister, &record);
}

void alias_unregister(void)
{
    AliasUnregisterRecord edit = {};
    edit.size = sizeof edit;
    edit.alias_id = g_edit_alias_id;
    host_send(SERVICE_editAliasUnregister, &edit);
    g_edit_alias_id = -1;

    KeyboardAliasUnregisterRecord keyboard = {};
    keyboard.size = sizeof keyboard;
    keyboard.alias_id = g_keyboard_alias_id;
    host_send(SERVICE_keyboardAliasUnregister, &keyboard);
    g_keyboard_alias_id = -1;
}

bool alias_registered(void)
{
    return g_edit_alias_id != -1 || g_keyboard_alias_id != -1;
}

void alias_forget(void)
{
    g_edit_alias_id = -1;
    g_keyboard_alias_id = -1;
}

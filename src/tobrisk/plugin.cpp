// The plugin's entry points and lifecycle: what happens at each event the
// host sends through plugin_main, and the process-wide state it keeps.
#include <locale.h>
#include <string.h>

#include "../interp.h"
#include "../tobrisk.h"

static HINSTANCE g_module = NULL;
static HostSendFn g_host_send = NULL;
static char g_plugin_paths[PATH_COUNT][TOBRISK_PATH_MAX] = {};

HINSTANCE module_handle(void) { return g_module; }
void module_handle_set(HINSTANCE module) { g_module = module; }

const char *plugin_path(PluginPath which)
{
    return g_plugin_paths[which];
}

int32_t host_send(HostService service, void *record)
{
    if (g_host_send == NULL) return 0;
    return g_host_send(TOBRISK_GUID, HostServiceNames[service], record);
}

bool host_present(void)
{
    return g_host_send != NULL;
}

extern "C" int32_t __cdecl plugin_version(void)
{
    return 2;
}

// Writes a text and its terminator; the bytes behind it stay as the host
// gave them.
static void write_text(char *field, const char *text)
{
    memcpy(field, text, strlen(text) + 1);
}

// Copies a directory, cut to 259 characters so the buffer stays terminated.
static void copy_path(PluginPath which, const char *text)
{
    char *buffer = g_plugin_paths[which];
    if (text == NULL) {
        buffer[0] = '\0';
        return;
    }
    strncpy(buffer, text, TOBRISK_PATH_MAX - 1);
    buffer[TOBRISK_PATH_MAX - 1] = '\0';
}

static void plugin_stop(void)
{
    alias_unregister();
    tobrisk_shutdown();
}

// A "load" that finds the previous runtime still running (a second "load",
// or "unload" without "stop") ends it first as "stop" would, through the
// host it was started for if that is still held. So init.tcl never runs
// twice into one interpreter, and the next "start" registers the alias for
// the new interpreter instead of trusting a registration the host may have
// dropped with "unload".
static void end_previous_runtime(void)
{
    if (g_host_send != NULL) {
        if (alias_registered() || interp_get() != NULL) plugin_stop();
        return;
    }
    alias_forget();
    tobrisk_shutdown();
}

static void plugin_load(LoadRecord *record)
{
    end_previous_runtime();
    write_text(record->guid, TOBRISK_GUID);
    write_text(record->name, TOBRISK_NAME);
    write_text(record->maker, TOBRISK_MAKER);
    write_text(record->version, TOBRISK_VERSION);
    write_text(record->description, TOBRISK_DESCRIPTION);
    setlocale(LC_ALL, "C");
    copy_path(PATH_CONFIG, record->config_directory);
    copy_path(PATH_SKIN, record->skin_directory);
    copy_path(PATH_TEMP, record->temp_directory);
    copy_path(PATH_GLOBAL_CONFIG, record->global_config_directory);
    copy_path(PATH_VELLUMAR, record->vellumar_directory);
    copy_path(PATH_LANGUAGE, record->language_directory);
    g_host_send = record->host_send;
    tobrisk_startup();
}

// Without a service function there is nobody to register with.
static void plugin_start(void)
{
    if (g_host_send == NULL) return;
    prefs_register();
    alias_register(interp_get());
}

// The windows of Tcl and Tk outlive the plugin's library, so they get
// their own procedures back before the host may unload it.
static void plugin_unload(void)
{
    prefs_unload();
    deep_windows_stop();
    g_host_send = NULL;
}

// The names in the order they are tested; the first match decides.
static const char *const LifecycleEvents[] = {
    "load", "initialLoad", "start", "stop", "unload", "finalUnload", "prefsShow", "prefsAction",
};
enum LifecycleEvent {
    EVENT_LOAD, EVENT_INITIAL_LOAD, EVENT_START, EVENT_STOP, EVENT_UNLOAD,
    EVENT_FINAL_UNLOAD, EVENT_PREFS_SHOW, EVENT_PREFS_ACTION, EVENT_UNKNOWN
};

static LifecycleEvent lifecycle_event(const char *name)
{
    int count = (int)(sizeof LifecycleEvents / sizeof LifecycleEvents[0]);
    for (int index = 0; index < count; index++) {
        if (_stricmp(name, LifecycleEvents[index]) == 0) return (LifecycleEvent)index;
    }
    return EVENT_UNKNOWN;
}

extern "C" int32_t __cdecl plugin_main(const char *event, void *data)
{
    HostCall call;
    if (event == NULL) return 0;
    switch (lifecycle_event(event)) {
    case EVENT_LOAD:
        if (data != NULL) plugin_load((LoadRecord *)data);
        break;
    case EVENT_START:
        plugin_start();
        break;
    case EVENT_STOP:
        // A "stop" without a service function matches nothing further.
        if (g_host_send != NULL) plugin_stop();
        break;
    case EVENT_UNLOAD:
        plugin_unload();
        break;
    case EVENT_PREFS_SHOW:
        prefs_show((PrefsShowRecord *)data);
        break;
    case EVENT_PREFS_ACTION:
        prefs_action((const PrefsActionRecord *)data);
        break;
    case EVENT_INITIAL_LOAD:
    case EVENT_FINAL_UNLOAD:
    case EVENT_UNKNOWN:
        break;
    }
    return 0;
}

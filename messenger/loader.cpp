// Loading Tobrisk.dll from a plugin folder, and the lifecycle events the
// host sends it with a fresh "load" record.
#include "internal.h"

#include <cstring>

namespace messenger {
namespace {

// The library is loaded once per process whatever the number of hosts:
// Windows maps a DLL once, so its entry points are process-wide too.
HMODULE g_plugin = nullptr;
std::string g_folder;
int32_t(__cdecl *g_plugin_main)(const char *, void *) = nullptr;
int32_t(__cdecl *g_plugin_version)(void) = nullptr;

HANDLE g_saved_std[3] = {nullptr, nullptr, nullptr};
const DWORD StandardKinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

void fill_text(char *field, size_t size)
{
    std::memset(field, 0x5A, size);
}

} // namespace

// Given this console program's pipes, Tcl would open channels on them whose
// reader and writer threads it leaves running at finalisation, in code that
// "stop" then unloads.
void drop_standard_handles()
{
    for (int index = 0; index < 3; index++) {
        if (g_saved_std[index] == nullptr) g_saved_std[index] = GetStdHandle(StandardKinds[index]);
        SetStdHandle(StandardKinds[index], nullptr);
    }
}

HANDLE saved_standard_handle(DWORD kind)
{
    for (int index = 0; index < 3; index++) {
        if (StandardKinds[index] == kind && g_saved_std[index] != nullptr) return g_saved_std[index];
    }
    return GetStdHandle(kind);
}

bool load_plugin(const std::string &folder, bool patch_ui, bool patch_heap)
{
    drop_standard_handles();
    g_folder = folder;
    HMODULE loaded = LoadLibraryW(wide_of(folder + "\\Tobrisk.dll").c_str());
    if (loaded == nullptr) return false;
    // Patching a module twice would make the recorders their own originals.
    if (loaded != g_plugin) patch_imports(loaded, patch_ui, patch_heap);
    g_plugin = loaded;
    g_plugin_main = (decltype(g_plugin_main))(void *)GetProcAddress(g_plugin, "plugin_main");
    g_plugin_version = (decltype(g_plugin_version))(void *)GetProcAddress(g_plugin, "plugin_version");
    return g_plugin_main != nullptr && g_plugin_version != nullptr;
}

HMODULE plugin_module() { return g_plugin; }
const std::string &plugin_folder() { return g_folder; }
int32_t plugin_version() { return g_plugin_version(); }
int32_t plugin_main(const char *event, void *data) { return g_plugin_main(event, data); }

LoadRecord make_load_record(const Directories &directories, bool with_host_send)
{
    static Directories kept;   // the texts must outlive the record's use
    kept = directories;
    LoadRecord record;
    std::memset(&record, 0, sizeof record);
    fill_text(record.guid, sizeof record.guid);
    fill_text(record.name, sizeof record.name);
    fill_text(record.maker, sizeof record.maker);
    fill_text(record.version, sizeof record.version);
    fill_text(record.description, sizeof record.description);
    record.config_directory = kept.config.c_str();
    record.skin_directory = kept.skin.c_str();
    record.temp_directory = kept.temp.c_str();
    record.global_config_directory = kept.global_config.c_str();
    record.vellumar_directory = kept.vellumar.c_str();
    record.language_directory = kept.language.c_str();
    record.host_send = with_host_send ? host_send : nullptr;
    return record;
}

LoadRecord load(const Directories &directories)
{
    LoadRecord record = make_load_record(directories);
    plugin_main("load", &record);
    return record;
}

void start() { plugin_main("start", nullptr); }
void stop() { plugin_main("stop", nullptr); }
void unload() { plugin_main("unload", nullptr); }

void load_and_start(const Directories &directories)
{
    load(directories);
    start();
}

} // namespace messenger

#include "messenger.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace messenger {
namespace {

HMODULE g_plugin = nullptr;
std::string g_folder;
int32_t(__cdecl *g_plugin_main)(const char *, void *) = nullptr;
int32_t(__cdecl *g_plugin_version)(void) = nullptr;

std::vector<HostCall> g_calls;
std::map<std::string, Answer> g_answers;
Answer g_default_answer;
UiHandler g_ui_handler;
std::vector<UiCall> g_ui_calls;
std::vector<int> g_buttons;
std::set<const void *> g_live_copies;
size_t g_copies_made = 0;
size_t g_copies_freed = 0;
Tcl_Interp *g_interp = nullptr;
std::vector<BitmapLoad> g_bitmaps_loaded;
std::vector<HGDIOBJ> g_objects_deleted;

// Where each service's record keeps texts, a callback and its userData.
struct ServiceShape {
    const char *service;
    std::vector<size_t> texts;
    int callback;        // offset, or -1
    int userData;        // offset, or -1
    bool binding;        // userData is a CallbackBinding
};

const std::vector<ServiceShape> &shapes()
{
    static const std::vector<ServiceShape> table = {
        {"prefsInitialize", {8}, -1, -1, false},
        {"editAliasRegister", {8}, 12, 16, false},
        {"listAddEntry", {156, 160, 164, 168}, 180, 172, true},
        {"listRemoveEntry", {156, 160, 164, 168}, 180, 172, true},
        {"listClearEntry", {156, 160, 164, 168}, 180, 172, true},
        {"listGetGroupCount", {156, 160, 164, 168}, 180, 172, true},
        {"listGetSectionCount", {156, 160, 164, 168}, 180, 172, true},
        {"listUpdateText", {156, 160, 164, 168}, 180, 172, true},
        {"eventsConnect", {4}, 12, 16, true},
        {"eventsDisconnect", {4}, 12, 16, true},
        {"connectionEnumerate", {4}, 8, 12, false},
        {"contactlistEnumerate", {4, 20}, 12, 16, false},
        {"messageSend", {4, 12, 16, 20}, -1, -1, false},
        {"systraySetAlert", {4, 8, 28}, 24, 28, false},
        {"httpFileRequest", {4}, 8, 12, true},
    };
    return table;
}

const ServiceShape *shape_of(const std::string &service)
{
    for (const ServiceShape &shape : shapes()) {
        if (service == shape.service) return &shape;
    }
    return nullptr;
}

uint32_t read_word(const void *record, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, (const char *)record + offset, 4);
    return value;
}

void copy_record(HostCall &call, void *record)
{
    call.record = record;
    call.null_record = record == nullptr;
    if (record == nullptr) return;
    uint32_t size = read_word(record, 0);
    if (size > 65536) size = 4;
    call.bytes.assign((const uint8_t *)record, (const uint8_t *)record + size);
    const ServiceShape *shape = shape_of(call.service);
    if (shape == nullptr) return;
    for (size_t offset : shape->texts) {
        if (offset + 4 > size) continue;
        const char *text = (const char *)(uintptr_t)read_word(record, offset);
        call.texts[offset] = text ? std::optional<std::string>(text) : std::nullopt;
    }
    if (shape->callback >= 0 && (size_t)shape->callback + 4 <= size) {
        call.callback = (HostCallback)(uintptr_t)read_word(record, shape->callback);
    }
    if (shape->userData >= 0 && (size_t)shape->userData + 4 <= size) {
        call.userData = (void *)(uintptr_t)read_word(record, shape->userData);
    }
    if (shape->binding && call.userData != nullptr) {
        const char *text = (const char *)(uintptr_t)read_word(call.userData, 4);
        if (text != nullptr) call.binding_text = text;
    }
}

// --- Recorders for the plugin's imports --------------------------------------

int(WINAPI *real_MessageBoxA)(HWND, LPCSTR, LPCSTR, UINT) = nullptr;
BOOL(WINAPI *real_MessageBeep)(UINT) = nullptr;
HINSTANCE(WINAPI *real_ShellExecuteA)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) = nullptr;
BOOL(WINAPI *real_TerminateProcess)(HANDLE, UINT) = nullptr;
char *(__cdecl *real_strdup)(const char *) = nullptr;
void(__cdecl *real_free)(void *) = nullptr;
HBITMAP(WINAPI *real_LoadBitmapA)(HINSTANCE, LPCSTR) = nullptr;
BOOL(WINAPI *real_DeleteObject)(HGDIOBJ) = nullptr;

int WINAPI record_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    UiCall call;
    call.function = "MessageBoxA";
    call.text = text ? text : "";
    call.caption = caption ? caption : "";
    call.null_caption = caption == nullptr;
    call.owner = (uintptr_t)owner;
    call.type = type;
    g_ui_calls.push_back(call);
    if (g_ui_handler) return g_ui_handler(call);
    if (g_buttons.empty()) return IDOK;
    int button = g_buttons.front();
    g_buttons.erase(g_buttons.begin());
    return button;
}

BOOL WINAPI record_MessageBeep(UINT type)
{
    UiCall call;
    call.function = "MessageBeep";
    call.type = type;
    g_ui_calls.push_back(call);
    if (g_ui_handler) g_ui_handler(call);
    return TRUE;
}

HINSTANCE WINAPI record_ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                      LPCSTR directory, INT show)
{
    UiCall call;
    call.function = "ShellExecuteA";
    call.owner = (uintptr_t)owner;
    call.caption = verb ? verb : "";
    call.text = file ? file : "";
    call.null_parameters = parameters == nullptr;
    call.null_directory = directory == nullptr;
    call.type = (uint32_t)show;
    g_ui_calls.push_back(call);
    if (g_ui_handler) g_ui_handler(call);
    return (HINSTANCE)(uintptr_t)33;
}

// The process ends for real, so what was recorded is printed first for the
// parent process to read.
BOOL WINAPI record_TerminateProcess(HANDLE process, UINT code)
{
    UiCall call;
    call.function = "TerminateProcess";
    call.type = code;
    g_ui_calls.push_back(call);
    if (g_ui_handler) {
        g_ui_handler(call);
        std::fflush(stdout);
        return real_TerminateProcess(process, code);
    }
    for (const UiCall &ui : g_ui_calls) {
        std::printf("UI|%s|%u|%s|%zu|%s\n", ui.function.c_str(), ui.type, ui.caption.c_str(),
                    ui.text.size(), ui.text.c_str());
    }
    std::fflush(stdout);
    return real_TerminateProcess(process, code);
}

char *__cdecl record_strdup(const char *text)
{
    char *copy = real_strdup(text);
    if (copy != nullptr) {
        g_live_copies.insert(copy);
        g_copies_made++;
    }
    return copy;
}

void __cdecl record_free(void *pointer)
{
    if (g_live_copies.erase(pointer) != 0) g_copies_freed++;
    real_free(pointer);
}

HBITMAP WINAPI record_LoadBitmapA(HINSTANCE module, LPCSTR name)
{
    HBITMAP bitmap = real_LoadBitmapA(module, name);
    g_bitmaps_loaded.push_back({(uintptr_t)name, bitmap});
    return bitmap;
}

BOOL WINAPI record_DeleteObject(HGDIOBJ object)
{
    g_objects_deleted.push_back(object);
    return real_DeleteObject(object);
}

struct Replacement {
    const char *name;
    void *recorder;
    void **original;
};

// Points the plugin's import table entries for the calls above at the
// recorders; the originals are kept for the recorders to pass on to.
void patch_imports(HMODULE module, bool patch_ui, bool patch_heap)
{
    const Replacement replacements[] = {
        {"MessageBoxA", (void *)record_MessageBoxA, (void **)&real_MessageBoxA},
        {"MessageBeep", (void *)record_MessageBeep, (void **)&real_MessageBeep},
        {"ShellExecuteA", (void *)record_ShellExecuteA, (void **)&real_ShellExecuteA},
        {"TerminateProcess", (void *)record_TerminateProcess, (void **)&real_TerminateProcess},
        {"_strdup", (void *)record_strdup, (void **)&real_strdup},
        {"free", (void *)record_free, (void **)&real_free},
        {"LoadBitmapA", (void *)record_LoadBitmapA, (void **)&real_LoadBitmapA},
        {"DeleteObject", (void *)record_DeleteObject, (void **)&real_DeleteObject},
    };
    auto base = (BYTE *)module;
    auto dos = (IMAGE_DOS_HEADER *)base;
    auto nt = (IMAGE_NT_HEADERS *)(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return;
    for (auto import = (IMAGE_IMPORT_DESCRIPTOR *)(base + directory.VirtualAddress); import->Name != 0; import++) {
        auto names = (IMAGE_THUNK_DATA *)(base + (import->OriginalFirstThunk ? import->OriginalFirstThunk
                                                                              : import->FirstThunk));
        auto slots = (IMAGE_THUNK_DATA *)(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto by_name = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            for (const Replacement &replacement : replacements) {
                if (std::strcmp((const char *)by_name->Name, replacement.name) != 0) continue;
                bool heap = replacement.recorder == (void *)record_strdup ||
                            replacement.recorder == (void *)record_free;
                if (heap ? !patch_heap : !patch_ui) continue;
                DWORD old_protection;
                VirtualProtect(&slots->u1.Function, sizeof(void *), PAGE_READWRITE, &old_protection);
                *replacement.original = (void *)slots->u1.Function;
                slots->u1.Function = (uintptr_t)replacement.recorder;
                VirtualProtect(&slots->u1.Function, sizeof(void *), old_protection, &old_protection);
            }
        }
    }
    // Calls the plugin does not import still need somewhere to go.
    if (!real_TerminateProcess) real_TerminateProcess = TerminateProcess;
    if (!real_strdup) real_strdup = _strdup;
    if (!real_free) real_free = free;
    if (!real_LoadBitmapA) real_LoadBitmapA = LoadBitmapA;
    if (!real_DeleteObject) real_DeleteObject = DeleteObject;
}

// --- Tcl entry points for evaluating in the plugin's interpreter -------------

using EvalExFn = int (*)(Tcl_Interp *, const char *, int, int);
using GetStringResultFn = const char *(*)(Tcl_Interp *);

FARPROC tcl_entry(const char *name)
{
    HMODULE tcl = GetModuleHandleA((g_folder + "\\bin\\tcl84t.dll").c_str());
    return tcl ? GetProcAddress(tcl, name) : nullptr;
}

void fill_text(char *field, size_t size)
{
    std::memset(field, 0x5A, size);
}

HANDLE g_saved_std[3] = {nullptr, nullptr, nullptr};

} // namespace

// Given this console program's pipes, Tcl would open channels on them whose
// reader and writer threads it leaves running at finalisation, in code that
// "stop" then unloads.
void drop_standard_handles()
{
    const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int index = 0; index < 3; index++) {
        if (g_saved_std[index] == nullptr) g_saved_std[index] = GetStdHandle(kinds[index]);
        SetStdHandle(kinds[index], nullptr);
    }
}

int32_t HostCall::int_at(size_t offset) const
{
    if (offset + 4 > bytes.size()) return 0;
    int32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

std::string HostCall::text_at(size_t offset) const
{
    auto found = texts.find(offset);
    if (found == texts.end() || !found->second) return "";
    return *found->second;
}

bool HostCall::has_text_at(size_t offset) const
{
    auto found = texts.find(offset);
    return found != texts.end() && found->second.has_value();
}

bool load_plugin(const std::string &folder, bool patch_ui, bool patch_heap)
{
    drop_standard_handles();
    g_folder = folder;
    HMODULE loaded = LoadLibraryA((folder + "\\Tobrisk.dll").c_str());
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

extern "C" int32_t __cdecl host_send(const char *guid, const char *service, void *record)
{
    HostCall call;
    call.guid = guid ? guid : "";
    call.service = service ? service : "";
    copy_record(call, record);
    g_calls.push_back(call);
    if (call.service == "editAliasRegister" && call.userData != nullptr) {
        g_interp = (Tcl_Interp *)call.userData;
    }
    auto answer = g_answers.find(call.service);
    if (answer != g_answers.end()) return answer->second(call);
    if (g_default_answer) return g_default_answer(call);
    return 0;
}

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

void set_answer(const std::string &service, Answer answer) { g_answers[service] = std::move(answer); }
void set_answer(const std::string &service, int32_t value)
{
    g_answers[service] = [value](HostCall &) { return value; };
}
void set_default_answer(Answer answer) { g_default_answer = std::move(answer); }
void clear_answers()
{
    g_answers.clear();
    g_default_answer = nullptr;
}

const std::vector<HostCall> &calls() { return g_calls; }

std::vector<HostCall> calls_to(const std::string &service)
{
    std::vector<HostCall> found;
    for (const HostCall &call : g_calls) {
        if (call.service == service) found.push_back(call);
    }
    return found;
}

std::vector<std::string> services_called()
{
    std::vector<std::string> names;
    for (const HostCall &call : g_calls) names.push_back(call.service);
    return names;
}

void clear_calls() { g_calls.clear(); }

const std::vector<UiCall> &ui_calls() { return g_ui_calls; }

std::vector<UiCall> message_boxes()
{
    std::vector<UiCall> boxes;
    for (const UiCall &call : g_ui_calls) {
        if (call.function == "MessageBoxA") boxes.push_back(call);
    }
    return boxes;
}

void clear_ui_calls() { g_ui_calls.clear(); }
void queue_buttons(const std::vector<int> &buttons) { g_buttons = buttons; }
void set_ui_handler(UiHandler handler) { g_ui_handler = std::move(handler); }

const std::vector<BitmapLoad> &bitmaps_loaded() { return g_bitmaps_loaded; }
const std::vector<HGDIOBJ> &objects_deleted() { return g_objects_deleted; }

size_t live_copies() { return g_live_copies.size(); }
bool is_live_copy(const void *pointer) { return g_live_copies.count(pointer) != 0; }
size_t copies_made() { return g_copies_made; }
size_t copies_freed() { return g_copies_freed; }

Tcl_Interp *interp() { return g_interp; }

EvalResult eval(const std::string &script)
{
    auto eval_ex = (EvalExFn)(void *)tcl_entry("Tcl_EvalEx");
    auto get_result = (GetStringResultFn)(void *)tcl_entry("Tcl_GetStringResult");
    if (eval_ex == nullptr || get_result == nullptr || g_interp == nullptr) {
        return {-1, "no interpreter"};
    }
    int code = eval_ex(g_interp, script.data(), (int)script.size(), 0);
    return {code, get_result(g_interp)};
}

std::string eval_ok(const std::string &script)
{
    EvalResult result = eval(script);
    return result.code == 0 ? result.result : "";
}

bool read_file(const std::string &path, std::string &bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    bytes = content.str();
    return true;
}

bool write_file(const std::string &path, const std::string &text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

bool remove_file(const std::string &path)
{
    return DeleteFileA(path.c_str()) != 0;
}

ChildResult run_self(const std::string &arguments, DWORD timeout_ms)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end, write_end;
    CreatePipe(&read_end, &write_end, &inherit, 0);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = g_saved_std[2] ? g_saved_std[2] : GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = g_saved_std[0] ? g_saved_std[0] : GetStdHandle(STD_INPUT_HANDLE);
    std::string command = "\"" + std::string(self) + "\" " + arguments;
    PROCESS_INFORMATION process = {};
    ChildResult result = {(DWORD)-1, ""};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(read_end);
        CloseHandle(write_end);
        return result;
    }
    CloseHandle(write_end);
    char buffer[4096];
    DWORD got;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        result.output.append(buffer, got);
    }
    CloseHandle(read_end);
    if (WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
    }
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return result;
}

} // namespace messenger

// The recorders that the plugin's imports of blocking or fatal Windows calls
// and of its heap copies are pointed at: message boxes, beeps, opened
// links, the process's end, _strdup and free, bitmaps loaded and released.
#include "internal.h"

#include <cstdio>
#include <cstring>
#include <set>

namespace messenger {
namespace {

// The recorders are plain functions, given no context by the calls they
// stand in for, and the import table belongs to the one loaded plugin: what
// they record and how they answer is the process's, not one host's.
UiHandler g_ui_handler;
std::vector<UiCall> g_ui_calls;
std::vector<int> g_buttons;
std::set<const void *> g_live_copies;
size_t g_copies_made = 0;
size_t g_copies_freed = 0;
std::vector<BitmapLoad> g_bitmaps_loaded;
std::vector<HGDIOBJ> g_objects_deleted;

int(WINAPI *real_MessageBoxA)(HWND, LPCSTR, LPCSTR, UINT) = nullptr;
int(WINAPI *real_MessageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT) = nullptr;
HINSTANCE(WINAPI *real_ShellExecuteW)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) = nullptr;
BOOL(WINAPI *real_MessageBeep)(UINT) = nullptr;
HINSTANCE(WINAPI *real_ShellExecuteA)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) = nullptr;
BOOL(WINAPI *real_TerminateProcess)(HANDLE, UINT) = nullptr;
char *(__cdecl *real_strdup)(const char *) = nullptr;
void(__cdecl *real_free)(void *) = nullptr;
HBITMAP(WINAPI *real_LoadBitmapA)(HINSTANCE, LPCSTR) = nullptr;
BOOL(WINAPI *real_DeleteObject)(HGDIOBJ) = nullptr;

int answer_box(const UiCall &call)
{
    g_ui_calls.push_back(call);
    if (g_ui_handler) return g_ui_handler(call);
    if (g_buttons.empty()) return IDOK;
    int button = g_buttons.front();
    g_buttons.erase(g_buttons.begin());
    return button;
}

int WINAPI record_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    UiCall call;
    call.function = "MessageBoxA";
    call.text = text ? text : "";
    call.caption = caption ? caption : "";
    call.null_caption = caption == nullptr;
    call.owner = (uintptr_t)owner;
    call.type = type;
    return answer_box(call);
}

// Texts of the wide calls are recorded in UTF-8.
int WINAPI record_MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    UiCall call;
    call.function = "MessageBoxW";
    call.text = text ? utf8_of(text) : "";
    call.caption = caption ? utf8_of(caption) : "";
    call.null_caption = caption == nullptr;
    call.owner = (uintptr_t)owner;
    call.type = type;
    return answer_box(call);
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

// Records a link the plugin opened; `call` holds its function, verb and file.
HINSTANCE record_shell_execute(UiCall call, HWND owner, const void *parameters, const void *directory, INT show)
{
    call.owner = (uintptr_t)owner;
    call.null_parameters = parameters == nullptr;
    call.null_directory = directory == nullptr;
    call.type = (uint32_t)show;
    g_ui_calls.push_back(call);
    if (g_ui_handler) g_ui_handler(call);
    return (HINSTANCE)(uintptr_t)33;
}

HINSTANCE WINAPI record_ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                      LPCSTR directory, INT show)
{
    UiCall call;
    call.function = "ShellExecuteA";
    call.caption = verb ? verb : "";
    call.text = file ? file : "";
    return record_shell_execute(call, owner, parameters, directory, show);
}

HINSTANCE WINAPI record_ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                      LPCWSTR directory, INT show)
{
    UiCall call;
    call.function = "ShellExecuteW";
    call.caption = verb ? utf8_of(verb) : "";
    call.text = file ? utf8_of(file) : "";
    return record_shell_execute(call, owner, parameters, directory, show);
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

} // namespace

// Points the plugin's import table entries for the calls above at the
// recorders; the originals are kept for the recorders to pass on to.
void patch_imports(HMODULE module, bool patch_ui, bool patch_heap)
{
    const Replacement replacements[] = {
        {"MessageBoxA", (void *)record_MessageBoxA, (void **)&real_MessageBoxA},
        {"MessageBoxW", (void *)record_MessageBoxW, (void **)&real_MessageBoxW},
        {"ShellExecuteW", (void *)record_ShellExecuteW, (void **)&real_ShellExecuteW},
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

const std::vector<UiCall> &ui_calls() { return g_ui_calls; }

std::vector<UiCall> message_boxes()
{
    std::vector<UiCall> boxes;
    for (const UiCall &call : g_ui_calls) {
        if (call.function == "MessageBoxA" || call.function == "MessageBoxW") boxes.push_back(call);
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

} // namespace messenger

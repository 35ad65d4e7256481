// A host for Tobrisk.dll that plays the messenger: it loads the plugin from
// a folder (loader.cpp), answers and records every service call byte for
// byte and keeps the callbacks it is handed (calls.cpp) and reads records
// by the layout of each service's (records.cpp), replaces the plugin's
// imports of blocking or fatal Windows calls with recorders (imports.cpp),
// and evaluates in the plugin's interpreter (eval.cpp).
//
// One host per process, and it must be so: Windows maps the library once
// per process, the service function the plugin calls carries no context to
// tell hosts apart, and the recorders stand in for calls that carry none
// either. The state is therefore the process's, in plain variables.
#ifndef TOBRISK_MESSENGER_H
#define TOBRISK_MESSENGER_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "../src/host.h"
#include "../src/host_services.h"

struct Tcl_Interp;

namespace messenger {

// The record of a service: its size (0 for a service that takes none) and
// the offsets of its texts, its callback and that callback's userData.
const int NoField = -1;
struct RecordShape {
    const char *service;
    size_t size;
    std::vector<size_t> texts;
    int callback;        // offset, or NoField
    int userData;        // offset, or NoField
    bool binding;        // userData is a CallbackBinding
};
// Every service the plugin sends, in the order of the table of services.
const std::vector<RecordShape> &record_shapes();
// Null for a service the plugin never sends.
const RecordShape *record_shape(const std::string &service);

// One HostSend call as the plugin made it. Texts are copied during the
// call, since the plugin's records and words are gone afterwards.
struct HostCall {
    std::string guid;
    std::string service;
    bool null_record = true;
    std::vector<uint8_t> bytes;                            // the record, its own size long
    std::map<size_t, std::optional<std::string>> texts;   // text behind each pointer field
    HostCallback callback = nullptr;                       // a callback the record hands over
    void *userData = nullptr;
    std::optional<std::string> binding_text;               // a CallbackBinding's text
    void *record = nullptr;                                // valid only inside the call

    int32_t int_at(size_t offset) const;
    uint32_t word_at(size_t offset) const { return (uint32_t)int_at(offset); }
    std::string text_at(size_t offset) const;              // "" when absent or NULL
    bool has_text_at(size_t offset) const;
};

// A Windows call that the plugin made through a replaced import.
struct UiCall {
    std::string function;        // "MessageBoxA", "MessageBoxW", "MessageBeep", "ShellExecuteA",
                                 // "ShellExecuteW", "TerminateProcess"
    std::string text;            // box text; ShellExecute's file (UTF-8 for the wide calls)
    std::string caption;         // box caption; ShellExecuteA's verb
    bool null_caption = false;
    uintptr_t owner = 0;
    uint32_t type = 0;           // box type; beep type; exit code; show command
    bool null_parameters = true; // ShellExecuteA's parameters and directory
    bool null_directory = true;
};

// What a service call answers; the default answers 0 to everything.
using Answer = std::function<int32_t(HostCall &call)>;

struct Directories {
    std::string config = "C:\\vellumar\\config";
    std::string skin = "C:\\vellumar\\skins";
    std::string temp = "C:\\vellumar\\temp";
    std::string global_config = "C:\\vellumar\\global";
    std::string vellumar = "C:\\vellumar";
    std::string language = "C:\\vellumar\\language";
};

// Loads <folder>\Tobrisk.dll and replaces its UI imports (with patch_ui
// false not, so that real boxes show and links open) and its heap calls
// _strdup and free (with patch_heap false not, so that timings see the
// real ones). False when the library cannot be loaded.
bool load_plugin(const std::string &folder, bool patch_ui = true, bool patch_heap = true);
HMODULE plugin_module();
const std::string &plugin_folder();

int32_t plugin_version();
int32_t plugin_main(const char *event, void *data);

// Fills a LoadRecord whose text fields hold a marker byte pattern, so that
// the bytes behind the plugin's terminators can be checked.
LoadRecord make_load_record(const Directories &directories, bool with_host_send = true);
// "load" with a fresh record; returns the record as the plugin left it.
LoadRecord load(const Directories &directories = Directories());
void start();
void stop();
void unload();
void load_and_start(const Directories &directories = Directories());

// The service function handed to the plugin.
extern "C" int32_t __cdecl host_send(const char *guid, const char *service, void *record);

void set_answer(const std::string &service, Answer answer);
void set_answer(const std::string &service, int32_t value);
inline void set_answer(HostService service, Answer answer) { set_answer(HostServiceNames[service], std::move(answer)); }
inline void set_answer(HostService service, int32_t value) { set_answer(HostServiceNames[service], value); }
// Answers every service that has no answer of its own.
void set_default_answer(Answer answer);
void clear_answers();

const std::vector<HostCall> &calls();
std::vector<HostCall> calls_to(const std::string &service);
std::vector<std::string> services_called();
void clear_calls();

const std::vector<UiCall> &ui_calls();
std::vector<UiCall> message_boxes();
void clear_ui_calls();
// Buttons that the next message boxes return, in order; then IDOK.
void queue_buttons(const std::vector<int> &buttons);
// Sees each replaced Windows call as it is made. For a message box its result
// is the button the box returns (the queue is then not used); before a
// TerminateProcess it is the last chance to report, and the recorded calls
// are not dumped.
using UiHandler = std::function<int(const UiCall &call)>;
void set_ui_handler(UiHandler handler);

// Bitmaps the plugin loaded with LoadBitmapA (with the resource id asked
// for) and objects it released with DeleteObject, in order.
struct BitmapLoad {
    uintptr_t id;
    HBITMAP bitmap;
};
const std::vector<BitmapLoad> &bitmaps_loaded();
const std::vector<HGDIOBJ> &objects_deleted();

// Heap copies the plugin made with _strdup and has not freed yet.
size_t live_copies();
bool is_live_copy(const void *pointer);
size_t copies_made();
size_t copies_freed();

// The interpreter that "start" handed over as the alias's userData.
Tcl_Interp *interp();
// The text and the interpreter a CallbackBinding carries, read from the
// binding itself.
const char *binding_text(const void *binding);
Tcl_Interp *binding_interp(const void *binding);

// Evaluates a script in the plugin's interpreter with the Tcl library's
// own entry points. Script and result are UTF-8, as the host speaks it,
// converted to and from Tcl's form as the plugin converts host texts.
struct EvalResult {
    int code;
    std::string result;
};
EvalResult eval(const std::string &script);
// Convenience: the result of a script that must succeed; "" on failure.
std::string eval_ok(const std::string &script);
// The window of Tcl's notifier on this thread, through which the host's
// message loop runs Tcl's timers; nullptr before Tcl has made it.
HWND notifier_window();

// Gives up this process's standard handles, as the messenger, a GUI
// program, has none; load_plugin does it first. The C runtime keeps its own
// copies, so printf still works.
void drop_standard_handles();

// File names and texts are UTF-8 here; Windows gets them in UTF-16.
std::wstring wide_of(const std::string &text);
std::string utf8_of(const wchar_t *text, int length = -1);

// Reads a whole file; false when it cannot be opened.
bool read_file(const std::string &path, std::string &bytes);
// Writes a file, creating nothing else.
bool write_file(const std::string &path, const std::string &text);
bool remove_file(const std::string &path);

// Runs this program again with the given arguments, returns its exit code
// and standard output.
struct ChildResult {
    DWORD exit_code;
    std::string output;
};
ChildResult run_self(const std::string &arguments, DWORD timeout_ms = 60000);

} // namespace messenger

#endif

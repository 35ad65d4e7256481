#include "session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

// --- Watchdog -------------------------------------------------------------------
// The main thread marks the time it enters the plugin; a second thread
// ends the process when one such call does not come back in time.

CRITICAL_SECTION g_watch_lock;
std::string g_watch_what;
DWORD g_watch_since = 0;
bool g_watch_busy = false;
int g_watch_depth = 0;
DWORD g_watch_timeout_ms = 0;

DWORD WINAPI watchdog_thread(void *)
{
    while (true) {
        Sleep(100);
        EnterCriticalSection(&g_watch_lock);
        bool hung = g_watch_busy && g_watch_timeout_ms > 0 && GetTickCount() - g_watch_since > g_watch_timeout_ms;
        std::string what = g_watch_what;
        LeaveCriticalSection(&g_watch_lock);
        if (!hung) continue;
        std::printf("error: the plugin hangs: %s has not returned after %lu s\n", what.c_str(),
                    (unsigned long)(g_watch_timeout_ms / 1000));
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), SessionExitBase + EXIT_HUNG);
    }
    return 0;
}

// --- Message boxes ------------------------------------------------------------

// The buttons of each MessageBoxA type, in the order Windows shows them.
const std::vector<std::vector<int>> &box_buttons()
{
    static const std::vector<std::vector<int>> table = {
        {IDOK},                       // MB_OK
        {IDOK, IDCANCEL},             // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE}, // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},      // MB_YESNOCANCEL
        {IDYES, IDNO},                // MB_YESNO
        {IDRETRY, IDCANCEL},          // MB_RETRYCANCEL
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE},
    };
    return table;
}

// What pressing Enter gives: the box's default button.
int default_button(uint32_t type)
{
    size_t kind = type & MB_TYPEMASK;
    if (kind >= box_buttons().size()) return IDOK;
    const std::vector<int> &buttons = box_buttons()[kind];
    size_t index = (type & MB_DEFMASK) >> 8;
    return buttons[index < buttons.size() ? index : 0];
}

std::string button_name(int button)
{
    switch (button) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    case IDTRYAGAIN: return "Try Again";
    case IDCONTINUE: return "Continue";
    default: return std::to_string(button);
    }
}

// --- Files ------------------------------------------------------------------------

bool is_directory(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool is_file(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string full_path(const std::string &path)
{
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    if (length == 0 || length >= sizeof buffer) return path;
    return buffer;
}

bool is_absolute(const std::string &path)
{
    return (!path.empty() && (path[0] == '\\' || path[0] == '/')) || (path.size() > 1 && path[1] == ':');
}

} // namespace

const char ScratchProfileVariable[] = "TOBRISK_HOST_PROFILE";

std::string make_scratch_folder()
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return "";
    std::string folder = std::string(temp) + "tobrisk-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(GetTickCount());
    return CreateDirectoryA(folder.c_str(), nullptr) ? folder : "";
}

void remove_folder_tree(const std::string &path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_folder_tree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decoded(const std::string &text)
{
    std::string out;
    for (size_t at = 0; at < text.size(); at++) {
        if (text[at] == '%' && at + 2 < text.size() && hex_digit(text[at + 1]) >= 0 &&
            hex_digit(text[at + 2]) >= 0) {
            out += (char)(hex_digit(text[at + 1]) * 16 + hex_digit(text[at + 2]));
            at += 2;
        } else {
            out += text[at];
        }
    }
    return out;
}

bool starts_with_nocase(const std::string &text, const std::string &prefix)
{
    return text.size() >= prefix.size() && same_text_nocase(text.substr(0, prefix.size()), prefix);
}

} // namespace

void watchdog_start(int timeout_seconds)
{
    InitializeCriticalSection(&g_watch_lock);
    watchdog_set_timeout(timeout_seconds);
    HANDLE thread = CreateThread(nullptr, 0, watchdog_thread, nullptr, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

void watchdog_set_timeout(int timeout_seconds)
{
    EnterCriticalSection(&g_watch_lock);
    g_watch_timeout_ms = timeout_seconds > 0 ? (DWORD)timeout_seconds * 1000 : 0;
    LeaveCriticalSection(&g_watch_lock);
}

// Only the outermost call is timed: a callback inside a service call
// inside plugin_main is all one visit to the plugin.
Busy::Busy(const std::string &what)
{
    if (g_watch_depth++ > 0) return;
    EnterCriticalSection(&g_watch_lock);
    g_watch_what = what;
    g_watch_since = GetTickCount();
    g_watch_busy = true;
    LeaveCriticalSection(&g_watch_lock);
}

Busy::~Busy()
{
    if (--g_watch_depth > 0) return;
    EnterCriticalSection(&g_watch_lock);
    g_watch_busy = false;
    LeaveCriticalSection(&g_watch_lock);
}

bool Options::was_given(const std::string &name) const
{
    for (const std::string &option : given) {
        if (option == name) return true;
    }
    return false;
}

// --- Session ---------------------------------------------------------------------

Session::Session(const Options &given) : options(given)
{
    messenger::set_default_answer([this](messenger::HostCall &call) { return answer(call); });
    messenger::set_ui_handler([this](const messenger::UiCall &call) { return on_ui(call); });
}

Session::~Session()
{
    messenger::clear_answers();
    messenger::set_ui_handler(nullptr);
}

void Session::error(const std::string &text)
{
    out.line("error: " + text);
    errors++;
}

PathOption Session::resolve(const std::string &path) const
{
    if (is_absolute(path) || options.base_dir.empty()) return {path, path};
    return {options.base_dir + "\\" + path, path};
}

int Session::on_ui(const messenger::UiCall &call)
{
    if (call.function == "MessageBoxA") {
        int button = default_button(call.type);
        if (!buttons_.empty()) {
            button = buttons_.front();
            buttons_.erase(buttons_.begin());
        }
        std::string caption = call.null_caption ? "(no caption)" : quoted(call.caption);
        std::string type = call.type != 0 ? " type " + std::to_string(call.type) : "";
        out.line("box " + caption + type + ": " + quoted(call.text) + " -> " + button_name(button));
        boxes.items.push_back(call.text);
        return button;
    }
    if (call.function == "MessageBeep") {
        out.line("beep " + std::to_string(call.type));
    } else if (call.function == "ShellExecuteA") {
        std::string verb = call.caption == "open" ? "" : " (verb " + quoted(call.caption) + ")";
        out.line("open " + quoted(call.text) + verb);
        opened.items.push_back(call.text);
    } else if (call.function == "TerminateProcess") {
        out.line("the plugin ends the process with exit code " + std::to_string(call.type));
    }
    return 0;
}

void Session::send_event(const char *event, void *data)
{
    out.begin(std::string("plugin_main ") + event);
    int32_t result;
    {
        Busy busy(std::string("plugin_main ") + quoted(event));
        result = messenger::plugin_main(event, data);
    }
    out.end(result == 0 ? "" : std::to_string(result));
}

int32_t Session::call_back(const std::string &header, HostCallback callback, int32_t code, const char *event,
                           void *data, void *userData)
{
    if (callback == nullptr) {
        out.line("callback " + header + ": the plugin gave no callback");
        return 0;
    }
    out.begin("callback " + header);
    int32_t result;
    {
        Busy busy(std::string("the callback for ") + quoted(event));
        result = callback(code, 0, event, data, userData);
    }
    out.end(std::to_string(result));
    return result;
}

// --- Lifecycle ------------------------------------------------------------------

void Session::make_profile()
{
    if (!profile_.empty()) return;
    if (!options.profile.empty()) {
        profile_ = full_path(options.profile.path);
        CreateDirectoryA(profile_.c_str(), nullptr);
        if (!is_directory(profile_)) error("cannot make the profile folder " + quoted_path(options.profile.shown));
    } else {
        // The parent process made this folder and removes it when the
        // session ends, however it ends.
        char scratch[MAX_PATH];
        DWORD length = GetEnvironmentVariableA(ScratchProfileVariable, scratch, sizeof scratch);
        profile_ = length > 0 && length < sizeof scratch ? scratch : "";
        if (!is_directory(profile_)) error("no scratch profile folder to work in");
    }
    directories_.config = profile_ + "\\config";
    directories_.skin = profile_ + "\\skins";
    directories_.temp = profile_ + "\\temp";
    directories_.global_config = profile_ + "\\global";
    directories_.vellumar = profile_ + "\\vellumar";
    directories_.language = profile_ + "\\language";
    for (const std::string *folder : {&directories_.config, &directories_.skin, &directories_.temp,
                                      &directories_.global_config, &directories_.vellumar,
                                      &directories_.language}) {
        CreateDirectoryA(folder->c_str(), nullptr);
    }
}

void Session::begin()
{
    if (!options.scripts.empty()) {
        if (is_directory(options.scripts.path)) {
            // The default init.tcl sources the scripts of this folder
            // instead of the one beside the plugin.
            std::string folder = full_path(options.scripts.path);
            SetEnvironmentVariableA("TOBRISK_SCRIPTS", folder.c_str());
            _putenv(("TOBRISK_SCRIPTS=" + folder).c_str());
        } else {
            error("no scripts folder " + quoted_path(options.scripts.shown));
        }
    }
    if (!options.www.empty() && !is_directory(options.www.path)) {
        error("no www folder " + quoted_path(options.www.shown));
    }
    if (!options.fixture.empty()) load_fixture(options.fixture);
    make_profile();
    if (open_plugin(options.plugin)) {
        load();
        start();
    }
}

void Session::finish()
{
    if (stage_ == Stage::Loaded || stage_ == Stage::Started) stop();
    if (stage_ == Stage::Stopped) unload();
}

bool Session::open_plugin(const PathOption &folder)
{
    if (has_plugin()) {
        error("a plugin is loaded already");
        return false;
    }
    if (!is_directory(folder.path)) {
        error("no plugin folder " + quoted_path(folder.shown));
        return false;
    }
    std::string path = full_path(folder.path);
    if (!is_file(path + "\\Tobrisk.dll")) {
        error("no Tobrisk.dll in the plugin folder " + quoted_path(folder.shown));
        return false;
    }
    if (!messenger::load_plugin(path, !options.gui)) {
        if (messenger::plugin_module() == nullptr) {
            error("cannot load Tobrisk.dll from " + quoted_path(folder.shown) + " (Windows error " +
                  std::to_string(GetLastError()) + ")");
        } else {
            error("Tobrisk.dll in " + quoted_path(folder.shown) + " does not export plugin_main and plugin_version");
        }
        return false;
    }
    stage_ = Stage::Unloaded;
    int32_t version;
    {
        Busy busy("plugin_version");
        version = messenger::plugin_version();
    }
    out.line("plugin_version -> " + std::to_string(version));
    return true;
}

void Session::load()
{
    make_profile();
    load_record_ = messenger::make_load_record(directories_);
    tcl_ready = false;
    send_event("load", &load_record_);
    stage_ = Stage::Loaded;
    // The record's text fields come filled with a marker; a plugin that
    // describes itself ends its texts with a zero byte.
    if (strnlen(load_record_.name, sizeof load_record_.name) < sizeof load_record_.name &&
        strnlen(load_record_.version, sizeof load_record_.version) < sizeof load_record_.version &&
        strnlen(load_record_.maker, sizeof load_record_.maker) < sizeof load_record_.maker &&
        strnlen(load_record_.description, sizeof load_record_.description) < sizeof load_record_.description) {
        out.line(std::string("plugin ") + quoted(load_record_.name) + " " + quoted(load_record_.version) + " by " +
                 quoted(load_record_.maker) + ": " + quoted(load_record_.description));
    } else {
        out.line("the plugin did not describe itself");
    }
}

void Session::start()
{
    send_event("start", nullptr);
    stage_ = Stage::Started;
}

void Session::stop()
{
    tcl_ready = false;
    send_event("stop", nullptr);
    stage_ = Stage::Stopped;
}

// Alerts and requests the plugin still has with the host end before it
// goes, so that the copies it handed over come back to it.
void Session::unload()
{
    close_alerts();
    cancel_requests();
    send_event("unload", nullptr);
    model.forget_plugin();
    stage_ = Stage::Unloaded;
}

// --- Time ---------------------------------------------------------------------------

void Session::pump(bool timers)
{
    if (!hold_requests) {
        std::vector<int32_t> due;
        for (const auto &request : model.requests) due.push_back(request.first);
        for (int32_t number : due) deliver_request(number);
    }
    MSG message;
    while (true) {
        BOOL got = timers ? PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)
                          : PeekMessageA(&message, nullptr, 0, WM_TIMER - 1, PM_REMOVE) ||
                                PeekMessageA(&message, nullptr, WM_TIMER + 1, 0xFFFFFFFF, PM_REMOVE);
        if (!got) break;
        if (message.message == WM_QUIT) continue;
        // Tcl's timers arrive as WM_TIMER; what a message makes the plugin
        // do is shown under it.
        char name[32];
        std::snprintf(name, sizeof name, "window message 0x%04X", message.message);
        out.begin(message.message == WM_TIMER ? "timer" : name);
        {
            Busy busy(message.message == WM_TIMER ? "a timer" : "a window message");
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        out.end_quietly();
    }
    messenger::clear_calls();
    messenger::clear_ui_calls();
}

void Session::wait(int milliseconds)
{
    DWORD started = GetTickCount();
    while (true) {
        pump(true);
        DWORD elapsed = GetTickCount() - started;
        if (elapsed >= (DWORD)milliseconds) break;
        DWORD left = (DWORD)milliseconds - elapsed;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
    }
}

// --- Host actions -----------------------------------------------------------------

void Session::connection_change(Connection &connection)
{
    // The texts are copied: a script may change the model while it runs.
    int32_t cid = connection.id;
    std::string name = connection.name, medium = connection.medium, status = connection.status;
    std::string fields = "cid=" + std::to_string(cid) + " name=" + quoted(name) + " medium=" + quoted(medium) +
                         " status=" + quoted(status);
    if (model.subscriptions.empty()) {
        out.line("Connection: Change " + fields + ": no subscriptions");
        return;
    }
    std::vector<int32_t> ids;
    for (const auto &subscription : model.subscriptions) ids.push_back(subscription.first);
    for (int32_t id : ids) {
        auto found = model.subscriptions.find(id);
        if (found == model.subscriptions.end()) continue;
        Subscription subscription = found->second;
        EventField status_field = {sizeof(EventField), "status", 0, status.c_str(), 0, nullptr};
        EventField medium_field = {sizeof(EventField), "medium", 0, medium.c_str(), 0, &status_field};
        EventField name_field = {sizeof(EventField), "name", 0, name.c_str(), 0, &medium_field};
        EventField cid_field = {sizeof(EventField), "cid", 0, &cid, 0, &name_field};
        call_back("Connection: Change subscription " + std::to_string(id) + ": " + fields, subscription.callback, 1,
                  "Connection: Change", &cid_field, subscription.userData);
    }
}

void Session::click(int32_t id)
{
    const ListNode *node = model.list.find(id);
    if (node == nullptr) {
        error("no entry " + std::to_string(id) + " in the contact list");
        return;
    }
    if (!node->has_script) {
        out.line("entry " + std::to_string(id) + " has no double-click script");
        return;
    }
    if (node->no_double_click) {
        out.line("entry " + std::to_string(id) + " takes no double-clicks (no_double_click)");
        return;
    }
    // The entry as the host describes it; the script may remove the entry
    // while it runs, so nothing here points into the model.
    std::string text = node->text;
    HostCallback callback = node->callback;
    void *userData = node->userData;
    ListEntryRecord record;
    std::memset(&record, 0, sizeof record);
    record.size = sizeof record;
    record.section_id = node->section_id;
    record.parent_id = node->parent;
    record.previous_id = -1;
    record.unique_id = id;
    record.text = text.c_str();
    call_back("list_leftDoubleClick entry " + std::to_string(id), callback, 0, "list_leftDoubleClick", &record,
              userData);
}

// A line typed into a message window: an alias at its start hands it to
// the alias's plugin, whose answer is sent in its place.
void Session::type_line(const std::string &line)
{
    const Alias *matched = nullptr;
    for (const auto &entry : model.aliases) {
        const std::string &alias = entry.second.text;
        if (!starts_with_nocase(line, alias)) continue;
        if (line.size() > alias.size() && line[alias.size()] != ' ' && line[alias.size()] != '\t') continue;
        matched = &entry.second;
        break;
    }
    if (matched == nullptr) {
        out.line("sent " + quoted(line));
        last_answer = line;
        return;
    }
    Alias alias = *matched;
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    EditAliasRequest request;
    std::memset(&request, 0, sizeof request);
    request.unused[0] = sizeof request;
    request.alias = alias.text.c_str();
    request.line = buffer.data();
    int32_t handled = call_back("edit_aliasRequest alias " + quoted(alias.text) + " line " + quoted(line),
                                alias.callback, 0, "edit_aliasRequest", &request, alias.userData);
    if (handled != 0) {
        out.line("sent " + quoted(line) + " (the alias did not answer)");
        last_answer = line;
        return;
    }
    std::string answer = request.line != nullptr ? request.line : "";
    out.line("sent " + quoted(answer));
    last_answer = answer;
    // The answer is the plugin's copy; it gets it back to free it.
    if (request.line != nullptr && request.line != buffer.data()) {
        call_back("edit_aliasFree", alias.callback, 0, "edit_aliasFree", request.line, alias.userData);
    }
}

// Sends an alert's callback an event; "alert_destroy" also ends the alert.
void Session::alert_event(int32_t number, const char *event)
{
    auto found = model.alerts.find(number);
    if (found == model.alerts.end()) {
        error("no alert " + std::to_string(number));
        return;
    }
    Alert alert = found->second;
    if (std::string(event) == "alert_destroy") model.alerts.erase(found);
    call_back(std::string(event) + " alert " + std::to_string(number), alert.callback, 0, event, nullptr,
              alert.userData);
}

void Session::alert_click(int32_t number) { alert_event(number, "alert_linkClick"); }
void Session::alert_close(int32_t number) { alert_event(number, "alert_destroy"); }

void Session::close_alerts()
{
    std::vector<int32_t> open;
    for (const auto &alert : model.alerts) open.push_back(alert.first);
    for (int32_t number : open) alert_close(number);
}

struct Session::Fetched {
    int status = 0;
    std::string reason;
    std::string bytes;
};

// URLs are answered from files only: file:// names a file, and http://
// names one below the www folder. Nothing goes to the network.
Session::Fetched Session::fetch(const std::string &url) const
{
    Fetched fetched;
    std::string path;
    if (starts_with_nocase(url, "file://")) {
        path = percent_decoded(url.substr(7));
        // file:///C:/x names C:/x.
        if (path.size() > 2 && path[0] == '/' && path[2] == ':') path = path.substr(1);
    } else if (starts_with_nocase(url, "http://") || starts_with_nocase(url, "https://")) {
        if (options.www.empty()) {
            fetched.status = 404;
            fetched.reason = "no www folder";
            return fetched;
        }
        size_t slash = url.find('/', url.find("://") + 3);
        std::string rest = slash == std::string::npos ? "/" : url.substr(slash);
        rest = rest.substr(0, rest.find_first_of("?#"));
        rest = percent_decoded(rest);
        // Each segment must stay below the folder: no "..", no drive.
        std::stringstream segments(rest);
        std::string segment;
        while (std::getline(segments, segment, '/')) {
            if (segment == ".." || segment.find('\\') != std::string::npos || segment.find(':') != std::string::npos) {
                fetched.status = 403;
                fetched.reason = "outside the www folder";
                return fetched;
            }
        }
        if (rest.empty() || rest.back() == '/') rest += "index.html";
        path = options.www.path + rest;
    } else {
        fetched.status = 400;
        fetched.reason = "not a file:// or http:// URL";
        return fetched;
    }
    for (char &c : path) {
        if (c == '/') c = '\\';
    }
    if (!is_file(path) || !messenger::read_file(path, fetched.bytes)) {
        fetched.status = 404;
        fetched.reason = "no such file";
        return fetched;
    }
    fetched.status = 200;
    fetched.reason = "OK";
    return fetched;
}

bool Session::deliver_request(int32_t number)
{
    auto found = model.requests.find(number);
    if (found == model.requests.end()) return false;
    Request request = found->second;
    model.requests.erase(found);
    Fetched fetched = fetch(request.url);
    HttpCompletion completion;
    std::memset(&completion, 0, sizeof completion);
    completion.unused[0] = sizeof completion;
    completion.unused[1] = (uint32_t)fetched.status;
    completion.bytes = fetched.bytes.data();
    completion.count = (int32_t)fetched.bytes.size();
    std::string header = "http_complete request " + std::to_string(number) + ": " + std::to_string(fetched.status) +
                         " " + fetched.reason + ", " + std::to_string(fetched.bytes.size()) + " bytes";
    call_back(header, request.callback, 0, "http_complete", &completion, request.userData);
    return true;
}

// Each pending request completes once, empty, so that the plugin can
// release what it keeps for it.
void Session::cancel_requests()
{
    std::vector<int32_t> pending;
    for (const auto &request : model.requests) pending.push_back(request.first);
    for (int32_t number : pending) {
        Request request = model.requests[number];
        model.requests.erase(number);
        HttpCompletion completion;
        std::memset(&completion, 0, sizeof completion);
        completion.unused[0] = sizeof completion;
        call_back("http_complete request " + std::to_string(number) + ": cancelled, 0 bytes", request.callback, 0,
                  "http_complete", &completion, request.userData);
    }
}

HWND Session::prefs_window()
{
    if (prefs_window_ != nullptr) return prefs_window_;
    static const char ClassName[] = "TobriskHostPreferences";
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = ClassName;
    RegisterClassA(&window_class);
    prefs_window_ = CreateWindowExA(0, ClassName, "Preferences", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                    CW_USEDEFAULT, CW_USEDEFAULT, 640, 520, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    return prefs_window_;
}

std::string Session::describe_page() const
{
    if (pages.empty()) return "page window: none";
    HWND page = pages.back();
    if (!IsWindow(page)) return "page window: destroyed";
    std::string where = GetParent(page) == prefs_window_ ? "in the preferences window" : "outside the preferences window";
    // The page's own state: its parent may be hidden while the page is not.
    bool shown = (GetWindowLongA(page, GWL_STYLE) & WS_VISIBLE) != 0;
    return std::string("page window: ") + (shown ? "shown " : "hidden ") + where;
}

void Session::prefs_show(int show, const std::string &page)
{
    HWND parent = prefs_window();
    if (options.gui) ShowWindow(parent, show == 1 ? SW_SHOW : SW_HIDE);
    PrefsShowRecord record;
    std::memset(&record, 0, sizeof record);
    record.unused0 = sizeof record;
    record.show = show;
    record.page = page.c_str();
    record.parent = parent;
    record.x = 8;
    record.y = 8;
    send_event("prefsShow", &record);
    if (record.name[0] != '\0') {
        std::string name(record.name, strnlen(record.name, sizeof record.name));
        std::string description(record.description, strnlen(record.description, sizeof record.description));
        out.line("page " + quoted(name) + ": " + quoted(description));
    } else {
        out.line("the plugin did not answer for the page " + quoted(page));
    }
    out.line(describe_page());
}

void Session::prefs_action(int32_t action)
{
    PrefsActionRecord record = {sizeof record, action};
    send_event("prefsAction", &record);
    out.line(describe_page());
}

void Session::evaluate(const std::string &script)
{
    if (!tcl_ready) {
        error("the plugin has no interpreter to evaluate in");
        return;
    }
    messenger::EvalResult result;
    {
        Busy busy("the Tcl script");
        result = messenger::eval(script);
    }
    std::string kind = result.code == 0 ? "result " : result.code == 1 ? "result (error) "
                                                                       : "result (code " + std::to_string(result.code) + ") ";
    out.line(kind + quoted(result.result));
    last_answer = result.result;
}

void Session::load_fixture(const PathOption &file)
{
    std::string content;
    if (!is_file(file.path) || !messenger::read_file(file.path, content)) {
        error("cannot read the fixture " + quoted_path(file.shown));
        return;
    }
    std::istringstream lines(content);
    std::string line;
    int number = 0;
    size_t connections = model.connections.size(), contacts = model.contacts.size();
    while (std::getline(lines, line)) {
        number++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        std::vector<std::string> words;
        std::string problem;
        if (!split_words(line, words, problem) || !model.add_from_words(words, problem)) {
            error(file.shown + ":" + std::to_string(number) + ": " + problem);
        }
    }
    out.line("fixture " + quoted_path(file.shown) + ": connections " +
             std::to_string(model.connections.size() - connections) + ", contacts " +
             std::to_string(model.contacts.size() - contacts));
}

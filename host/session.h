// One run of the stand-in messenger: the plugin it loaded, the model it
// answers from, the transcript it prints, and every action by which the
// host calls the plugin (lifecycle events, callbacks, the message pump).
#ifndef TOBRISK_HOST_SESSION_H
#define TOBRISK_HOST_SESSION_H

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model.h"
#include "messenger/messenger.h"
#include "transcript.h"

// How a session ends. The session runs in a child process, which exits
// with SessionExitBase plus one of these so that the parent can tell them
// from a process that the plugin ended itself.
enum ExitStatus { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2, EXIT_HUNG = 3, EXIT_CRASHED = 4 };
const DWORD SessionExitBase = 0x54420000;

// A path as the program uses it, and as the user wrote it for messages.
struct PathOption {
    std::string path, shown;
    bool empty() const { return path.empty(); }
};

struct Options {
    PathOption plugin = {"build\\dist\\Tobrisk", "build\\dist\\Tobrisk"};
    PathOption scripts, fixture, www, profile;
    std::string base_dir;            // what paths in scenario lines are relative to
    int timeout_seconds = -1;        // -1: the front end's default
    bool gui = false;
    bool interactive = true;
    std::string scenario;            // a file, or "-" for standard input
    // Which of the above the command line gave; scenario options do not
    // override those.
    std::vector<std::string> given;
    bool was_given(const std::string &name) const;
};

// The plugin's lifecycle as far as the host has driven it.
enum class Stage { NoPlugin, Unloaded, Loaded, Started, Stopped };

// The log behind the `expect` lines: what happened, and how far earlier
// expectations have already looked.
struct Seen {
    std::vector<std::string> items;
    size_t checked = 0;
};

class Session {
public:
    explicit Session(const Options &options);
    ~Session();

    Options options;
    Model model;
    Transcript out;
    int errors = 0;
    int failures = 0;

    // --- Lifecycle -----------------------------------------------------------
    // Prepares the profile, the scripts folder and the fixture, loads the
    // plugin and sends "load" and "start".
    void begin();
    // Sends "stop" and "unload" where they are due.
    void finish();
    bool open_plugin(const PathOption &folder);
    void load();
    void start();
    void stop();
    void unload();
    Stage stage() const { return stage_; }
    bool has_plugin() const { return stage_ != Stage::NoPlugin; }
    // True while the plugin has an interpreter that the host may evaluate
    // in: from a "start" that registers the alias with one, until "stop".
    bool tcl_ready = false;

    // --- Time --------------------------------------------------------------------
    // Delivers finished HTTP requests and dispatches the thread's window
    // messages; timer messages only when `timers` is true.
    void pump(bool timers);
    void wait(int milliseconds);

    // --- Host actions that call the plugin --------------------------------------
    void connection_change(Connection &connection);
    void click(int32_t id);
    void type_line(const std::string &line);
    void alert_click(int32_t number);
    void alert_close(int32_t number);
    void alert_event(int32_t number, const char *event);
    bool deliver_request(int32_t number);
    void prefs_show(int show, const std::string &page);
    void prefs_action(int32_t action);
    void evaluate(const std::string &script);
    void queue_buttons(const std::vector<int> &buttons) { buttons_ = buttons; }
    bool hold_requests = false;
    std::string describe_page() const;

    // --- Expectations -------------------------------------------------------
    std::optional<std::string> last_answer;
    Seen boxes, alerts_raised, opened;
    size_t messages_checked = 0;

    void error(const std::string &text);
    // Loads connection and contact lines; each bad line is one error.
    void load_fixture(const PathOption &file);
    // A path from a scenario line: relative ones start at base_dir.
    PathOption resolve(const std::string &path) const;

    // The answer to one service call (services.cpp).
    int32_t answer(messenger::HostCall &call);
    // Calls one of the plugin's callbacks under the watchdog, with a line
    // in the transcript.
    int32_t call_back(const std::string &header, HostCallback callback, int32_t code, const char *event,
                      void *data, void *userData);
    // HWND of the host's preferences window, made on first use.
    HWND prefs_window();
    std::vector<HWND> pages;      // windows the plugin added with "dialogAdd"

private:
    void send_event(const char *event, void *data);
    int on_ui(const messenger::UiCall &call);
    void make_profile();
    void cancel_requests();
    void close_alerts();
    struct Fetched;
    Fetched fetch(const std::string &url) const;

    Stage stage_ = Stage::NoPlugin;
    std::vector<int> buttons_;
    std::string profile_;
    HWND prefs_window_ = nullptr;
    messenger::Directories directories_;
    LoadRecord load_record_ = {};
};

// The environment variable that hands a scratch profile folder, made and
// removed by the parent process, to the session.
extern const char ScratchProfileVariable[];
// A scratch profile folder under the temp directory; "" when none could
// be made.
std::string make_scratch_folder();
void remove_folder_tree(const std::string &path);

// The watchdog: a plugin call that runs longer than the timeout is
// reported as a hang and ends the session. A timeout of 0 turns it off.
void watchdog_start(int timeout_seconds);
void watchdog_set_timeout(int timeout_seconds);
struct Busy {
    explicit Busy(const std::string &what);
    ~Busy();
};

#endif

// One run of the stand-in messenger: the options it runs with, the model it
// answers from, the transcript it prints, the journal of what it saw, and
// the plugin's lifecycle events as the host sends them, with every call
// into the plugin. Nothing here calls the files that drive the session.
#ifndef TOBRISK_HOST_SESSION_H
#define TOBRISK_HOST_SESSION_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "journal.h"
#include "messenger/messenger.h"
#include "model.h"
#include "options.h"
#include "transcript.h"

// The plugin's lifecycle as far as the host has driven it.
enum class Stage { NoPlugin, Unloaded, Loaded, Started, Stopped };

class Session {
public:
    explicit Session(const Options &options);

    // Scenario option lines may still change these before begin().
    Options options;
    Model model;
    Transcript out;
    Journal journal;
    // What the scenario set for the rest of the run: the buttons that the
    // next message boxes answer with, in order, and whether HTTP requests
    // wait for "http deliver".
    std::vector<int> buttons;
    bool hold_requests = false;

    // An error of the scenario's own, or a failed expectation of `line`.
    void error(const std::string &text);
    void fail(int line, const std::string &detail);
    // A failure of the whole run rather than of one line.
    void fail_run(const std::string &detail);
    int errors() const { return errors_; }
    int failures() const { return failures_; }

    // --- Lifecycle -----------------------------------------------------------
    // Prepares the scripts folder, the fixture and the profile, then starts
    // the plugin of the options.
    void begin();
    // Opens a plugin folder and sends "load" and "start".
    void start_plugin(const PathOption &folder);
    bool open_plugin(const PathOption &folder);
    void load();
    void start();
    void stop();
    // Sends "unload" alone; unload_plugin() first ends what the plugin
    // still has with the host.
    void unload();
    Stage stage() const { return stage_; }
    bool has_plugin() const { return stage_ != Stage::NoPlugin; }
    // True while the plugin has an interpreter that the host may evaluate
    // in: from a "start" that registers the alias with one, until "stop".
    bool tcl_ready() const { return tcl_ready_; }
    void set_tcl_ready() { tcl_ready_ = true; }

    // --- Calls into the plugin, each under the watchdog and shown ---------------
    void send_event(const char *event, void *data);
    int32_t call_back(const std::string &header, HostCallback callback, int32_t code, const char *event,
                      void *data, void *userData);
    // Evaluates and shows the result; the answer is noted for `expect`.
    messenger::EvalResult evaluate(const std::string &script);

    // Loads connection and contact lines; each bad line is one error.
    void load_fixture(const PathOption &file);

private:
    void use_scripts_folder();
    void check_www_folder();
    void make_profile();

    Stage stage_ = Stage::NoPlugin;
    bool tcl_ready_ = false;
    int errors_ = 0;
    int failures_ = 0;
    std::string profile_;
    messenger::Directories directories_;
    LoadRecord load_record_ = {};
};

#endif

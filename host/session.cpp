// The session's lifecycle and its calls into the plugin: the scripts
// folder, the profile and the plugin folder, the lifecycle events,
// callbacks, evaluation and the fixture.
#include "session.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "files.h"
#include "supervisor.h"
#include "watchdog.h"
#include "words.h"

Session::Session(const Options &given) : options(given) {}

void Session::error(const std::string &text)
{
    out.line("error: " + text);
    errors_++;
}

void Session::fail(int line, const std::string &detail)
{
    failures_++;
    out.line("FAILED line " + std::to_string(line) + ": " + detail);
}

void Session::fail_run(const std::string &detail)
{
    failures_++;
    out.top("FAILED: " + detail);
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
        if (!make_directory(profile_)) error("cannot make the profile folder " + quoted_path(options.profile.shown));
    } else {
        // The parent process made this folder and removes it when the
        // session ends, however it ends.
        wchar_t scratch[MAX_PATH];
        DWORD length = GetEnvironmentVariableW(ScratchProfileVariable, scratch, MAX_PATH);
        profile_ = length > 0 && length < MAX_PATH ? messenger::utf8_of(scratch, (int)length) : "";
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
        make_directory(*folder);
    }
}

void Session::begin()
{
    use_scripts_folder();
    check_www_folder();
    if (!options.fixture.empty()) load_fixture(options.fixture);
    make_profile();
    start_plugin(options.plugin);
}

// The default init.tcl sources the scripts of this folder instead of the
// one beside the plugin.
void Session::use_scripts_folder()
{
    if (options.scripts.empty()) return;
    if (!is_directory(options.scripts.path)) {
        error("no scripts folder " + quoted_path(options.scripts.shown));
        return;
    }
    std::wstring folder = messenger::wide_of(full_path(options.scripts.path));
    SetEnvironmentVariableW(L"TOBRISK_SCRIPTS", folder.c_str());
    _wputenv((L"TOBRISK_SCRIPTS=" + folder).c_str());
}

void Session::check_www_folder()
{
    if (!options.www.empty() && !is_directory(options.www.path)) {
        error("no www folder " + quoted_path(options.www.shown));
    }
}

void Session::start_plugin(const PathOption &folder)
{
    if (!open_plugin(folder)) return;
    load();
    start();
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

// The messenger is an ANSI program: its directories reach the plugin in
// the ANSI code page.
static messenger::Directories in_ansi(const messenger::Directories &directories)
{
    messenger::Directories ansi;
    ansi.config = ansi_path(directories.config);
    ansi.skin = ansi_path(directories.skin);
    ansi.temp = ansi_path(directories.temp);
    ansi.global_config = ansi_path(directories.global_config);
    ansi.vellumar = ansi_path(directories.vellumar);
    ansi.language = ansi_path(directories.language);
    return ansi;
}

void Session::load()
{
    make_profile();
    load_record_ = messenger::make_load_record(in_ansi(directories_));
    tcl_ready_ = false;
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
    tcl_ready_ = false;
    send_event("stop", nullptr);
    stage_ = Stage::Stopped;
}

void Session::unload()
{
    send_event("unload", nullptr);
    model.forget_plugin();
    stage_ = Stage::Unloaded;
}

// --- Scripts and fixtures -------------------------------------------------------

messenger::EvalResult Session::evaluate(const std::string &script)
{
    if (!tcl_ready_) {
        error("the plugin has no interpreter to evaluate in");
        return {-1, "no interpreter"};
    }
    messenger::EvalResult result;
    {
        Busy busy("the Tcl script");
        result = messenger::eval(script);
    }
    std::string kind = result.code == 0 ? "result " : result.code == 1 ? "result (error) "
                                                                       : "result (code " + std::to_string(result.code) + ") ";
    out.line(kind + quoted(result.result));
    journal.add(Happened::Answer, result.result);
    return result;
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

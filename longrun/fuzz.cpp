// Seeded fuzzing of the plugin from both sides: the host sends lifecycle
// events and calls every callback it was handed, with good, empty and cut
// data; scripts call both commands with every kind of word. After every
// step the host checks what the plugin did to it.
//
//   test_fuzz.exe --fixture=plugin=FOLDER [--seed N] [--steps N] [--seconds S] [--verbose]
//
// Without --seed the program runs its fixed seeds, each bounded in steps
// and in time. A failure names its seed and step; --seed with that seed and
// --verbose replays it and shows every step.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support.h"

using namespace messenger;

namespace {

struct FuzzOptions {
    std::vector<uint32_t> seeds = {1, 2, 3, 4};
    long steps = 20000;      // per seed
    double seconds = 12;     // per seed, so that ctest stays near a minute
    bool verbose = false;
};

FuzzOptions read_fuzz_options()
{
    FuzzOptions options;
    std::vector<std::string> words = testing::internal::GetArgvs();
    for (size_t index = 1; index < words.size(); index++) {
        std::string word = words[index];
        std::string value;
        size_t equals = word.find('=');
        if (word.rfind("--fixture", 0) == 0 || word.rfind("--child", 0) == 0) continue;
        if (equals != std::string::npos) {
            value = word.substr(equals + 1);
            word = word.substr(0, equals);
        } else if (word != "--verbose" && index + 1 < words.size()) {
            value = words[++index];
        }
        if (word == "--seed") {
            options.seeds = {(uint32_t)std::stoul(value)};
            options.seconds = 1e9;
        } else if (word == "--steps") {
            options.steps = std::stol(value);
            options.seconds = 1e9;
        } else if (word == "--seconds") {
            options.seconds = std::stod(value);
        } else if (word == "--verbose") {
            options.verbose = true;
        }
    }
    return options;
}

// Where a crash happened, for the exception filter to print.
uint32_t g_seed = 0;
long g_step = -1;
std::string g_action;

LONG WINAPI report_crash(EXCEPTION_POINTERS *pointers)
{
    void *address = pointers->ExceptionRecord->ExceptionAddress;
    HMODULE module = nullptr;
    char name[MAX_PATH] = "no module: unloaded code?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCSTR)address, &module)) {
        GetModuleFileNameA(module, name, sizeof name);
    }
    std::fprintf(stderr, "\nFUZZ CRASH: exception 0x%08lx at %p (%s, +0x%lx) thread %lu, seed %u step %ld (%s)\n",
                 pointers->ExceptionRecord->ExceptionCode, address, name,
                 (unsigned long)((char *)address - (char *)module), GetCurrentThreadId(), g_seed, g_step,
                 g_action.c_str());
    std::fflush(stderr);
    return EXCEPTION_EXECUTE_HANDLER;
}

// A callback that the host holds, with the userData it was handed and the
// runtime it came from.
struct Held {
    enum Kind { ALIAS, LIST, EVENTS, ALERT, HTTP } kind;
    HostCallback callback;
    void *userData;
    int generation;
    // For subscriptions and entries: the binding's text copy, the id the
    // host answered, and where the entry lies; released once the host has
    // confirmed a cancellation or removal that covers it.
    const void *text = nullptr;
    int32_t id = -1;
    int32_t parent = -1;
    int32_t section = -1;
    bool released = false;
};

// The option words of `vellumar`: every name that has a handler, in the
// table's order, then some without one, abbreviations, ambiguous words,
// wrong case and words that are no name.
std::vector<const char *> service_options()
{
    std::vector<const char *> options;
    for (int index = 0; index < HOST_SERVICE_COUNT; index++) {
        if (HostServices[index].implemented) options.push_back(HostServiceNames[index]);
    }
    for (int index : {SERVICE_prefsOpen, SERVICE_xmlFreeTree, SERVICE_accountsRemove, SERVICE_pluginRegisterAPI}) {
        options.push_back(HostServiceNames[index]);
    }
    for (const char *word : {"messageS", "httpF", "eventsC", "versionR", "list", "events", "m", "MESSAGESEND",
                             "messagesend", "", "zzz", "listAddEntryX"}) {
        options.push_back(word);
    }
    return options;
}
const std::vector<const char *> ServiceOptions = service_options();

const char *const InfoOptions[] = {
    "build", "messagebox", "patchlevel", "version", "processid", "threadid", "threadwindows",
    "config_directory", "skin_directory", "temp_directory", "global_config_directory",
    "vellumar_directory", "language_directory", "b", "pa", "th", "me", "v", "VERSION", "", "nope",
};

const char *const ListKeys[] = {
    "section_id", "parent_id", "previous_id", "group", "section", "drag_and_drop", "inline_editing",
    "selectable", "expanded", "auto_expand", "no_group_icon", "no_double_click", "owner_drawn",
    "no_section_margins", "floating", "floating_x", "floating_y", "inline_editing_quick", "tooltip",
    "text", "edit_string", "real_name", "callback", "Text", "", "unknown",
};

// The supervisor of lib/tobrisk over two scripts, each in its own
// interpreter, as the shipped init.tcl starts it; a start-up without a
// scripts folder leaves the main interpreter alone.
// The last runs restricted: what it lacks is refused before the host hears of it.
const char *const SupervisedScripts[] = { "fuzz_a", "fuzz_b", "fuzz_r" };
const int SupervisedCount = sizeof SupervisedScripts / sizeof SupervisedScripts[0];
const char RestrictedHead[] = "# tobrisk: script\n# needs: list events alerts\n";
const char *const FuzzInit =
    "namespace eval ::tobrisk {\n"
    "    variable fuzz_scripts [file join [file dirname [file normalize [info script]]] fuzz-scripts]\n"
    "}\n"
    "proc ::tobrisk::startup {} {\n"
    "    source [file join [file dirname $::tcl_library] tobrisk supervisor.tcl]\n"
    "    ::tobrisk::sv::configure $::tobrisk::fuzz_scripts\n"
    "    ::tobrisk::sv::load_all\n"
    "    ::tobrisk::sv::startup\n"
    "}\n"
    "proc ::tobrisk::shutdown {} { ::tobrisk::sv::shutdown }\n";

// Subscriptions and entries that earlier seeds' runs left with the host:
// their runtimes have stopped, but a confirmation in a later run releases
// them too, so each run takes them over.
std::vector<Held> g_carried;

class Fuzzer {
public:
    Fuzzer(uint32_t seed, const FuzzOptions &options) : rng_(seed), seed_(seed), options_(options) {}

    void run();

private:
    std::mt19937 rng_;
    uint32_t seed_;
    FuzzOptions options_;
    long step_ = 0;
    bool failed_ = false;

    // What the host knows of the plugin.
    bool loaded_ = false;        // the plugin holds host_send
    bool runtime_ = false;       // a Tcl runtime is running
    int generation_ = 0;         // counts the runtimes started
    int alias_generation_ = -1;  // the runtime whose interpreter the alias got
    bool alias_registered_ = false;
    std::vector<Held> held_;
    std::vector<void *> answers_;          // alias answers not yet handed back
    std::set<const void *> expected_;      // copies that must be live now
    size_t copies_before_ = 0;             // live before this run: kept bindings of earlier runs
    HostCallback alias_callback_ = nullptr;
    HostCallback connect_callback_ = nullptr;
    HostCallback contact_callback_ = nullptr;
    HWND parent_ = nullptr;

    int depth_ = 0;              // callbacks the host is running inside HostSend
    bool enumeration_left_open_ = false;
    std::vector<HostCall> step_calls_;

    uint32_t pick(uint32_t count) { return std::uniform_int_distribution<uint32_t>(0, count - 1)(rng_); }
    bool chance(int percent) { return (int)pick(100) < percent; }
    template <size_t N> const char *pick_of(const char *const (&table)[N]) { return table[pick(N)]; }

    void fail(const std::string &what);
    void install_answers();
    int32_t answer(HostCall &call);
    void answer_enumeration(HostCall &call, int text_count);

    void lifecycle_step();
    void callback_step();
    void script_step();
    void release_step();
    void check_step(bool host_could_be_called, const std::string &what);

    std::string word();
    std::string unicode();
    std::string tcl_literal(const std::string &text);
    std::string binding_script();
    std::string vellumar_command();
    std::string tobrisk_command();
    std::string script();
    std::string hostile_script();

    void call_alias(const Held &held);
    void call_list(const Held &held);
    void call_events(const Held &held);
    void call_alert(size_t index);
    void call_http(size_t index);
    void call_held(const Held &held, size_t index);
    void release_held(Held &held);
    void release_entries(int32_t id, bool with_entry);
    bool interp_live(int generation) const { return runtime_ && generation == generation_; }
};

void Fuzzer::fail(const std::string &what)
{
    if (failed_) return;
    failed_ = true;
    ADD_FAILURE() << what << "\n  replay: --seed " << seed_ << " --steps " << step_ + 1
                  << " --verbose (failed at step " << step_ << ": " << g_action << ")";
}

void Fuzzer::install_answers()
{
    clear_answers();
    for (const RecordShape &shape : record_shapes()) {
        set_answer(shape.service, [this](HostCall &call) { return answer(call); });
    }
}

// Plays the host: remembers every callback handed over, and sometimes runs
// callbacks inside the service call, as a real host may.
int32_t Fuzzer::answer(HostCall &call)
{
    step_calls_.push_back(call);
    int service = host_service_index(call.service.c_str());
    // The text of a binding the record hands over: a script or a variable.
    bool hands = service != -1 && HostServices[service].hands != HANDS_NOTHING;
    const char *bound = hands ? binding_text(call.userData) : nullptr;
    if (bound != nullptr) expected_.insert(bound);
    int generation = generation_;
    static const int32_t answers[] = {0, 1, -1, 7, 2147483647, (int32_t)0x80000000u};
    int32_t result = answers[pick(6)];
    if (service == SERVICE_editAliasRegister) {
        held_.push_back({Held::ALIAS, call.callback, call.userData, generation});
        alias_callback_ = call.callback;
        alias_registered_ = true;
        alias_generation_ = call.userData != nullptr ? generation : -1;
        return chance(10) ? -1 : 7;
    }
    if (service == SERVICE_editAliasUnregister) alias_registered_ = false;
    if (service == SERVICE_listAddEntry && call.callback != nullptr && call.userData != nullptr) {
        Held held = {Held::LIST, call.callback, call.userData, generation};
        held.text = bound;
        bool section = call.int_at(offsetof(ListEntryRecord, section)) != 0 && call.int_at(offsetof(ListEntryRecord, group)) == 0;
        int32_t section_id = call.int_at(offsetof(ListEntryRecord, section_id));
        int32_t parent_id = call.int_at(offsetof(ListEntryRecord, parent_id));
        held.id = section ? section_id : result;
        held.parent = section ? -1 : parent_id != -1 ? parent_id : section_id;
        held.section = section ? -1 : section_id;
        held_.push_back(held);
    }
    if (service == SERVICE_eventsConnect && call.userData != nullptr) {
        Held held = {Held::EVENTS, call.callback, call.userData, generation};
        held.text = bound;
        held.id = result;
        held_.push_back(held);
        if (depth_ < 2 && chance(20)) call_events(held_.back());
    }
    // A confirmed cancellation or removal releases the bindings it covers.
    if (service == SERVICE_eventsDisconnect && result == 1) {
        for (Held &held : held_) {
            if (held.kind == Held::EVENTS && !held.released && held.id == call.int_at(offsetof(EventsRecord, event_id))) release_held(held);
        }
    }
    if ((service == SERVICE_listRemoveEntry || service == SERVICE_listClearEntry) && result == 1) {
        int32_t unique_id = call.int_at(offsetof(ListEntryRecord, unique_id));
        release_entries(unique_id != -1 ? unique_id : call.int_at(offsetof(ListEntryRecord, section_id)), service == SERVICE_listRemoveEntry);
    }
    if (service == SERVICE_systraySetAlert) {
        if (call.userData != nullptr) expected_.insert(call.userData);
        held_.push_back({Held::ALERT, call.callback, call.userData, generation});
        if (depth_ < 2 && chance(20)) call_alert(held_.size() - 1);
    }
    if (service == SERVICE_httpFileRequest) {
        held_.push_back({Held::HTTP, call.callback, call.userData, generation});
        if (depth_ < 2 && chance(20)) call_http(held_.size() - 1);
    }
    if (service == SERVICE_connectionEnumerate) {
        connect_callback_ = call.callback;
        answer_enumeration(call, 3);
    }
    if (service == SERVICE_contactlistEnumerate) {
        contact_callback_ = call.callback;
        answer_enumeration(call, 6);
    }
    if (service == SERVICE_versionRequest) {
        static const char version[] = "Vellumar 4.0.7 \xc3\xa9";
        return chance(50) ? (int32_t)(intptr_t)version : 0;
    }
    // A subscribed or double-clicked script may run inside any call.
    if (depth_ < 2 && chance(3)) {
        for (const Held &held : std::vector<Held>(held_)) {
            if (held.kind == Held::EVENTS && chance(50)) {
                call_events(held);
                break;
            }
            if (held.kind == Held::LIST && chance(50)) {
                call_list(held);
                break;
            }
        }
    }
    // A script may run inside any call: the alias typed while the host is busy.
    if (depth_ < 2 && chance(3)) {
        for (const Held &held : std::vector<Held>(held_)) {
            if (held.kind == Held::ALIAS && interp_live(held.generation)) {
                call_alias(held);
                break;
            }
        }
    }
    return result;
}

void Fuzzer::release_held(Held &held)
{
    held.released = true;
    expected_.erase(held.text);
}

// The host's contact list: a removal takes the entry and all under it, a
// clearing all under it.
void Fuzzer::release_entries(int32_t id, bool with_entry)
{
    std::set<int32_t> gone = {id};
    std::vector<Held *> doomed;
    for (Held &held : held_) {
        if (with_entry && held.kind == Held::LIST && !held.released && held.id == id) doomed.push_back(&held);
    }
    for (bool found = true; found;) {
        found = false;
        for (Held &held : held_) {
            if (held.kind != Held::LIST || held.released) continue;
            if (std::find(doomed.begin(), doomed.end(), &held) != doomed.end()) continue;
            bool under = (held.parent != -1 && gone.count(held.parent)) ||
                         (held.section != -1 && gone.count(held.section));
            if (!under) continue;
            doomed.push_back(&held);
            gone.insert(held.id);
            found = true;
        }
    }
    for (Held *held : doomed) release_held(*held);
}

// The host's side of an enumeration: every call happens here, inside the
// service call, in a random order that may leave the enumeration open.
void Fuzzer::answer_enumeration(HostCall &call, int text_count)
{
    static const char *const texts[] = {"", "one", "\xe6\x97\xa5\xe6\x9c\xac", "{a", "a b", "\"", "\xff\xfe"};
    bool open = false;
    int events = (int)pick(8);
    std::string random = unicode();
    const char *const random_text = random.c_str();
    for (int index = 0; index < events; index++) {
        EnumEntry entry = {};
        entry.first = chance(10) ? nullptr : chance(20) ? random_text : texts[pick(7)];
        entry.number = (int32_t)rng_();
        for (int text = 0; text < text_count; text++) {
            entry.texts[text] = chance(10) ? nullptr : chance(20) ? random_text : texts[pick(7)];
        }
        void *userData = chance(5) ? nullptr : call.userData;
        const char *event;
        void *data = &entry;
        switch (pick(6)) {
        case 0: event = "enum_start"; if (userData) open = true; break;
        case 1: event = "enum_finish"; if (userData) open = false; break;
        case 2: event = "enum_add"; if (chance(10)) data = nullptr; break;
        case 3: event = "enum_add"; break;
        case 4: event = "ENUM_ADD"; break;
        default: event = chance(50) ? "enum_other" : nullptr; break;
        }
        call.callback(0, 0, event, data, userData);
    }
    enumeration_left_open_ = open;
}

// --- Words and scripts ------------------------------------------------------

// A Tcl word that stands for exactly the given bytes: specials and control
// characters are escaped, bytes above 127 go in raw.
std::string Fuzzer::tcl_literal(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f || std::strchr("\\\"[]${};", c) != nullptr) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

// Random Unicode, well-formed or not: characters of every length up to
// 4-byte ones beyond U+FFFF, halves of pairs alone or paired as Tcl keeps
// them, overlong forms, sequences cut short and stray bytes.
std::string Fuzzer::unicode()
{
    static const char *const pieces[] = {
        "\xf0\x9f\x98\x80", "\xf4\x8f\xbf\xbf", "\xf0\x90\x80\x80", "\xed\xa0\xbd\xed\xb8\x80",
        "\xed\xa0\xbd", "\xed\xb8\x80", "\xc0\x80", "\xe0\x80\xaf", "\xf0\x80\x80\x80",
        "\xf0\x9f\x98", "\xe6\x97", "\xc3", "\x80", "\xff", "\xf5\x80\x80\x80", "\xd0\x98",
        "\xe6\x97\xa5", "a", " ", "\xef\xbf\xbd",
    };
    std::string text;
    int count = (int)pick(8);
    for (int index = 0; index < count; index++) {
        if (chance(20)) {
            text += (char)pick(256);
        } else {
            text += pieces[pick(20)];
        }
    }
    return text;
}

std::string Fuzzer::binding_script()
{
    static const char *const tails[] = {
        "", "; error boom", "; break", "; return", "; continue", "; exit", "; exit 3",
        "; vellumar connectionEnumerate m", "; set event 1", "; array set event {a b}",
        "; vellumar eventsDisconnect 3", "; tobrisk version", "; vellumar httpFileRequest u ::r",
        "; vellumar listAddEntry {a b", "; vellumar messageSend", "; unset -nocomplain event",
        "; vellumar systraySetAlert t x {}", "; set ::x $event(medium)",
        "; string toupper [string range $event(name) 1 end]", "; string reverse $event(status)",
    };
    // The marker tells the host which runtime made the binding.
    return "vellumar messageSend trace 0 gen" + std::to_string(generation_) + " x" + tails[pick(20)];
}

std::string Fuzzer::word()
{
    static const char *const plain[] = {
        "0", "1", "-1", "7", "2147483647", "-2147483648", "2147483648", "-2147483649", "4294967295",
        "0x7fffffff", "0xffffffff", "1e3", "1.5", " 3 ", "abc", "", "-section", "09", "+5", "--1",
        "\xc3\xa9t\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac", "\xff\xfe", "\xc0\x80", "\xed\xa0\x80",
        "{a", "a {b", "\"x", "a\\", "}", "a b c d", "{}", "x(y)", "::r", "r(k)",
    };
    static const char *const string_commands[] = {
        "string toupper", "string tolower", "string totitle", "string reverse", "string length",
        "string range", "string index", "string trim",
    };
    switch (pick(24)) {
    case 20: return tcl_literal(unicode());
    case 21:
    case 22: {
        std::string command = string_commands[pick(8)];
        std::string range = command == "string range" ? " " + std::to_string(pick(4)) + " " + std::to_string(pick(6))
                          : command == "string index" ? " " + std::to_string(pick(5)) : "";
        return "[" + command + " " + tcl_literal(unicode()) + range + "]";
    }
    case 23: return "[string range " + tcl_literal(unicode()) + " 0 [expr {[string length " + tcl_literal(unicode()) + "] / 2}]]";
    case 0: return "[string repeat x " + std::to_string(chance(5) ? 1 << 20 : 1000) + "]";
    case 1: return tcl_literal(std::string("a\0b", 3));
    case 2: return tcl_literal(pick_of(ListKeys));
    case 3: return tcl_literal(binding_script());
    case 4: return "[list " + tcl_literal(pick_of(ListKeys)) + " " + tcl_literal(plain[pick(35)]) + "]";
    default: return tcl_literal(plain[pick(35)]);
    }
}

std::string Fuzzer::vellumar_command()
{
    std::string command = "vellumar";
    if (chance(3)) return command;
    const char *option = ServiceOptions[pick((uint32_t)ServiceOptions.size())];
    command += " " + tcl_literal(option);
    int words = (int)pick(8);
    // Well-formed calls often enough to get past the word counts.
    if (chance(50)) {
        int service = host_service_index(option);
        if (service == SERVICE_messageSend) words = 4;
        else if (service == SERVICE_systraySetAlert) words = 2 + (int)pick(4);
        else if (service == SERVICE_httpFileRequest) {
            words = 1 + (int)pick(2);
            if (chance(30)) command += " -binary";
        } else if (service == SERVICE_eventsConnect) {
            return command + " " + tcl_literal(chance(50) ? "Connection: Change" : "x") + " " + tcl_literal(binding_script());
        } else if (service == SERVICE_listAddEntry) {
            std::string pairs;
            if (chance(50)) pairs = " section_id 1 parent_id 2";
            int count = (int)pick(4);
            for (int index = 0; index < count; index++) pairs += " " + tcl_literal(pick_of(ListKeys)) + " " + word();
            if (chance(40)) pairs += " callback " + tcl_literal(binding_script());
            if (chance(20)) return command + " " + tcl_literal(pairs);   // the pairs as one list word
            return command + pairs;
        } else if (service == SERVICE_connectionEnumerate || service == SERVICE_eventsDisconnect || service == SERVICE_listGetGroupCount)
            words = 1;
        else if (service == SERVICE_contactlistEnumerate) words = 1 + (int)pick(3);
    }
    for (int index = 0; index < words; index++) command += " " + word();
    return command;
}

std::string Fuzzer::tobrisk_command()
{
    std::string command = "tobrisk";
    if (chance(3)) return command;
    const char *option = pick_of(InfoOptions);
    command += " " + tcl_literal(option);
    int words = chance(60) ? 0 : (int)pick(5);
    for (int index = 0; index < words; index++) command += " " + word();
    return command;
}

std::string Fuzzer::script()
{
    switch (pick(14)) {
    case 0: return "exit";
    case 1: return "exit 0";
    case 2: return "error " + word();
    case 3: return "break";
    case 4: return "return -code error " + word();
    case 5: return "catch {" + vellumar_command() + "}";
    case 6: return "proc ::p {} {" + vellumar_command() + "}; ::p";
    case 7: return tobrisk_command();
    default: return vellumar_command();
    }
}

// Input that once ended the messenger, typed on the chat line, which the
// plugin evaluates on its own stack: deep nesting, and a pipe to a program
// that reads nothing, left busy for the next "stop".
std::string Fuzzer::hostile_script()
{
    auto nested = [](const char *open, int depth, const char *inner, const char *close) {
        std::string text;
        for (int level = 0; level < depth; level++) text += open;
        text += inner;
        for (int level = 0; level < depth; level++) text += close;
        return text;
    };
    switch (pick(5)) {
    case 0: return "catch {regexp {" + nested("(?:", 100000, "a", ")") + "} a}";
    case 1: return "catch {expr {" + nested("(", 50000, "1", ")") + "}}";
    case 2: return "catch {set x " + nested("[list ", 2000, "a", "]") + "}";
    case 3:
        return "set ::busy [open {|ping -n 2 127.0.0.1 >NUL} w]; fconfigure $::busy -blocking 0; "
               "puts $::busy [string repeat x 100000]";
    default:
        // The host may call back inside this service call, with the
        // procedure and its own `event` on the stack.
        return "proc ::q {} {set event local; vellumar messageSend m 1 t x; set event}; ::q";
    }
}

// --- Callback calls ----------------------------------------------------------

// The host hands every answer back once, with either free event.
void Fuzzer::release_step()
{
    if (answers_.empty() || alias_callback_ == nullptr) return;
    size_t index = pick((uint32_t)answers_.size());
    void *answer_text = answers_[index];
    answers_.erase(answers_.begin() + index);
    const char *event = chance(50) ? "edit_aliasFree" : (chance(50) ? "keyboard_aliasFree" : "EDIT_ALIASFREE");
    int32_t result = alias_callback_(0, 0, event, answer_text, nullptr);
    expected_.erase(answer_text);
    if (result != 1) fail(std::string(event) + " returned " + std::to_string(result));
}

void Fuzzer::call_alias(const Held &held)
{
    void *userData = chance(10) ? nullptr : held.userData;
    depth_++;
    switch (pick(6)) {
    case 0:
    case 1:
    case 2: {
        static const char *const aliases[] = {"/tobrisk", "/TOBRISK", "/ToBrisk", "/tobrisk2", "/tob", ""};
        EditAliasRequest request = {};
        const char *alias = chance(5) ? nullptr : aliases[pick(6)];
        bool matches = alias != nullptr && _stricmp(alias, "/tobrisk") == 0;
        std::string line;
        switch (pick(5)) {
        case 0: line = "/tob"; break;
        case 1: line = "/tobrisk"; break;
        default: line = "/tobrisk " + (chance(5) ? hostile_script() : script()); break;
        }
        request.alias = alias;
        request.line = chance(3) ? nullptr : &line[0];
        char *before = request.line;
        std::string name = chance(80) ? "edit_aliasRequest" : "Edit_AliasRequest";
        int32_t result = held.callback(0, 0, name.c_str(), chance(3) ? nullptr : &request, userData);
        if (request.line != before) {
            if (!is_live_copy(request.line)) fail("the alias answer is not a live copy");
            expected_.insert(request.line);
            answers_.push_back(request.line);
            if (result != 0) fail("an answered alias request returned " + std::to_string(result));
        } else if (matches && result == 0) {
            fail("an alias request returned 0 without an answer");
        }
        break;
    }
    case 3: {
        KeyboardAliasRequest request = {};
        request.key = chance(50) ? 't' : (char)pick(256);
        int32_t result = held.callback(0, 0, "keyboard_aliasRequest", chance(5) ? nullptr : &request, userData);
        if (request.answer != nullptr) {
            expected_.insert(request.answer);
            answers_.push_back(request.answer);
        }
        if ((result == 0) != (request.answer != nullptr)) fail("keyboard request result and answer disagree");
        break;
    }
    case 4: {
        static const char *const names[] = {"edit_aliasFree", "keyboard_aliasFree", "bogus", "", nullptr};
        int32_t result = held.callback(0, 0, names[pick(5)], nullptr, userData);
        if (result != 1) fail("an alias event without an answer returned " + std::to_string(result));
        break;
    }
    default:
        release_step();
        break;
    }
    depth_--;
}

void Fuzzer::call_list(const Held &held)
{
    static const char *const names[] = {"list_leftDoubleClick", "list_leftDoubleClick", "list_rightClick",
                                        "LIST_LEFTDOUBLECLICK", "", nullptr};
    char junk[64] = {};
    depth_++;
    held.callback((int32_t)rng_(), 0, names[pick(6)], chance(50) ? nullptr : junk,
                  chance(10) ? nullptr : held.userData);
    depth_--;
}

// A connection change with a chain of fields: published names, others,
// missing names and values, repeated names, or no chain at all.
void Fuzzer::call_events(const Held &held)
{
    static const char *const names[] = {"Connection: Change", "Connection: Change", "Connection: Change",
                                        "Connection: Changes", "connection: change", "", nullptr};
    static const char *const fields[] = {"cid", "name", "medium", "status", "other", "CID", ""};
    static const char *const values[] = {"", "online", "\xc3\xa9", "{a", "\xff"};
    std::string random = unicode();
    int32_t integers[8];
    EventField chain[8] = {};
    int length = (int)pick(9);
    for (int index = 0; index < length; index++) {
        const char *name = chance(10) ? nullptr : fields[pick(7)];
        chain[index].name = name;
        integers[index] = (int32_t)rng_();
        if (name != nullptr && std::strcmp(name, "cid") == 0) {
            chain[index].value = &integers[index];
        } else {
            chain[index].value = chance(10) ? nullptr : chance(25) ? random.c_str() : values[pick(5)];
        }
        chain[index].next = index + 1 < length ? &chain[index + 1] : nullptr;
    }
    int32_t code = chance(80) ? 1 : (int32_t)pick(4);
    depth_++;
    held.callback(code, 0, names[pick(7)], length > 0 ? chain : nullptr, chance(10) ? nullptr : held.userData);
    depth_--;
}

void Fuzzer::call_alert(size_t index)
{
    Held held = held_[index];
    depth_++;
    switch (pick(4)) {
    case 0:
    case 1:
        held.callback(0, 0, "alert_linkClick", nullptr, chance(10) ? nullptr : held.userData);
        break;
    case 2:
        held.callback(0, 0, chance(50) ? "ALERT_DESTROY" : "alert_other", nullptr, held.userData);
        break;
    default:
        // The end of the alert: its userData is never used again.
        held_.erase(held_.begin() + index);
        held.callback(0, 0, "alert_destroy", nullptr, held.userData);
        if (held.userData != nullptr) expected_.erase(held.userData);
        break;
    }
    depth_--;
}

// Completes a request, once: with nothing, with an empty or cut reply, or
// with bytes that hold NULs and invalid UTF-8.
void Fuzzer::call_http(size_t index)
{
    Held held = held_[index];
    held_.erase(held_.begin() + index);
    static const char fixed[] = "HTTP/1.0 200\0\xff\xfe body {a \"";
    std::string random = unicode();
    bool unicode_body = chance(30);
    const char *bytes = unicode_body ? random.data() : fixed;
    int32_t size = unicode_body ? (int32_t)random.size() : (int32_t)sizeof fixed;
    HttpCompletion completion = {};
    completion.bytes = chance(10) ? nullptr : bytes;
    switch (pick(4)) {
    case 0: completion.count = 0; break;
    case 1: completion.count = -1 - (int32_t)pick(5); break;
    default: completion.count = (int32_t)pick((uint32_t)size + 1); break;
    }
    const char *text = binding_text(held.userData);
    depth_++;
    held.callback((int32_t)rng_(), 0, chance(50) ? "http_done" : nullptr, chance(10) ? nullptr : &completion,
                  held.userData);
    depth_--;
    if (text != nullptr) expected_.erase(text);
}

void Fuzzer::call_held(const Held &held, size_t index)
{
    switch (held.kind) {
    case Held::ALIAS: call_alias(held); break;
    case Held::LIST: call_list(held); break;
    case Held::EVENTS: call_events(held); break;
    case Held::ALERT: call_alert(index); break;
    case Held::HTTP: call_http(index); break;
    }
}

// --- Steps -------------------------------------------------------------------

void Fuzzer::lifecycle_step()
{
    static const char *const events[] = {
        "load", "load", "start", "start", "stop", "unload", "initialLoad", "finalUnload",
        "prefsShow", "prefsShow", "prefsAction", "LOAD", "Start", "sToP", "UNLOAD", "PREFSSHOW",
        "bogus", "", "loadx", nullptr,
    };
    const char *event = events[pick(20)];
    std::string name = event ? event : "(null)";
    bool was_loaded = loaded_;
    int32_t result = 0;
    char junk[2048] = {};
    if (event != nullptr && _stricmp(event, "load") == 0) {
        LoadRecord record = make_load_record(Directories(), !chance(10));
        bool null_record = chance(10);
        g_action = "lifecycle " + name + (null_record ? " NULL" : record.host_send ? "" : " without HostSend");
        result = plugin_main(event, null_record ? nullptr : &record);
        // A "load" ends a runtime that still runs and starts a new one,
        // whose alias is registered at the next "start".
        if (!null_record) {
            loaded_ = record.host_send != nullptr;
            runtime_ = true;
            generation_++;
            alias_registered_ = false;
        }
    } else if (event != nullptr && _stricmp(event, "prefsShow") == 0) {
        PrefsShowRecord record = {};
        static const char *const pages[] = {"Tobrisk", "tobrisk", "Tobrisk ", ""};
        record.show = chance(80) ? (int32_t)pick(2) : (int32_t)pick(7) - 1;
        record.page = chance(10) ? nullptr : pages[pick(4)];
        record.parent = chance(50) ? parent_ : nullptr;
        record.x = (int32_t)pick(200) - 50;
        record.y = (int32_t)pick(200) - 50;
        g_action = "lifecycle " + name;
        result = plugin_main(event, chance(10) ? nullptr : &record);
    } else if (event != nullptr && _stricmp(event, "prefsAction") == 0) {
        PrefsActionRecord record = {};
        record.action = (int32_t)pick(5) - 1;
        g_action = "lifecycle prefsAction " + std::to_string(record.action);
        result = plugin_main(event, chance(10) ? nullptr : &record);
    } else {
        g_action = "lifecycle " + name;
        result = plugin_main(event, chance(30) ? junk : nullptr);
        if (event != nullptr && _stricmp(event, "stop") == 0 && loaded_) {
            runtime_ = false;
            alias_registered_ = false;
        }
        if (event != nullptr && _stricmp(event, "unload") == 0) loaded_ = false;
    }
    if (result != 0) fail("plugin_main(" + name + ") returned " + std::to_string(result));
    bool is_load = event != nullptr && _stricmp(event, "load") == 0;
    check_step(was_loaded || (is_load && loaded_), g_action);
}

void Fuzzer::callback_step()
{
    if (held_.empty() || chance(5)) {
        // The enumeration callbacks may be called with no userData at any time.
        HostCallback callback = chance(50) ? connect_callback_ : contact_callback_;
        if (callback == nullptr) return;
        g_action = "enumeration callback without userData";
        callback(0, 0, chance(50) ? "enum_add" : "enum_start", nullptr, nullptr);
        check_step(loaded_, g_action);
        return;
    }
    size_t index = pick((uint32_t)held_.size());
    Held held = held_[index];
    static const char *const kinds[] = {"alias", "list", "events", "alert", "http"};
    g_action = std::string("callback ") + kinds[held.kind] + " of runtime " + std::to_string(held.generation) +
               (interp_live(held.generation) ? "" : " (gone)") + (held.released ? " (released)" : "");
    call_held(held, index);
    // The host confirmed that it would not call this binding again; if it
    // does, the binding is recognised as released and runs nothing.
    if (held.released && !step_calls_.empty()) fail("a released binding ran its script");
    check_step(loaded_, g_action);
}

void Fuzzer::script_step()
{
    if (!runtime_ || alias_generation_ != generation_ || !alias_registered_) return;
    bool single = chance(80);
    std::string text = single ? (chance(70) ? vellumar_command() : tobrisk_command()) : script();
    g_action = "script " + (text.size() > 200 ? text.substr(0, 200) + "..." : text);
    // Half the scripts run in a supervised script's own interpreter, while
    // the script is loaded: what they bind runs there.
    if (chance(50)) {
        const char *name = SupervisedScripts[pick(SupervisedCount)];
        text = "if {[::tobrisk::state " + std::string(name) + "] eq {loaded}} {[::tobrisk::interp " + name + "] eval " +
               tcl_literal(text) + "}";
        g_action = std::string("in ") + name + ": " + g_action;
    }
    enumeration_left_open_ = false;
    size_t before = step_calls_.size();
    EvalResult result = eval(text);
    if (result.code == -1) {
        fail("no interpreter to evaluate in");
        return;
    }
    // A command that fails has asked nothing of the host, except an
    // enumeration that the host left open, which fails after the call.
    if (single && result.code != 0 && step_calls_.size() > before) {
        const std::string &first = step_calls_[before].service;
        bool enumeration = first == HostServiceNames[SERVICE_connectionEnumerate] ||
                           first == HostServiceNames[SERVICE_contactlistEnumerate];
        if (!(enumeration && enumeration_left_open_)) {
            fail("the command failed (" + result.result.substr(0, 200) + ") after calling " + first);
        }
    }
    check_step(loaded_, g_action);
}

void Fuzzer::check_step(bool host_could_be_called, const std::string &what)
{
    for (const HostCall &call : step_calls_) {
        if (!host_could_be_called) fail("HostSend(" + call.service + ") while the plugin holds no HostSend: " + what);
        if (call.guid != PluginGuid) fail("HostSend with the GUID \"" + call.guid + "\"");
        const RecordShape *shape = record_shape(call.service);
        if (shape == nullptr) {
            fail("HostSend of an unknown service \"" + call.service + "\"");
            continue;
        }
        if (shape->size == 0 ? !call.null_record : call.bytes.size() != shape->size || call.null_record) {
            fail(call.service + " sent a record of " + std::to_string(call.bytes.size()) + " bytes");
        }
        // A script made by one runtime may run only while that runtime lives.
        std::string target = call.text_at(offsetof(MessageSendRecord, target));
        if (call.service == HostServiceNames[SERVICE_messageSend] && target.rfind("gen", 0) == 0) {
            if (target != "gen" + std::to_string(generation_) || !runtime_) {
                fail("a script of " + target + " ran in runtime " + std::to_string(generation_));
            }
        }
    }
    step_calls_.clear();
    clear_calls();
    for (const UiCall &ui : ui_calls()) {
        if (ui.function == "TerminateProcess") fail("the plugin ended the process: " + what);
    }
    clear_ui_calls();
    if (live_copies() != copies_before_ + expected_.size()) {
        fail("live copies " + std::to_string(live_copies()) + ", expected " +
             std::to_string(copies_before_ + expected_.size()) +
             " after " + what);
        return;
    }
    for (const void *copy : expected_) {
        if (!is_live_copy(copy)) fail("a copy the host still owns was freed: " + what);
    }
}

void Fuzzer::run()
{
    g_seed = seed_;
    for (Held held : g_carried) {
        held.generation = -1;
        held_.push_back(held);
        expected_.insert(held.text);
    }
    copies_before_ = live_copies() - expected_.size();
    install_answers();
    parent_ = CreateWindowExA(0, "STATIC", "fuzz host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr, nullptr,
                              nullptr, nullptr);
    auto started = std::chrono::steady_clock::now();
    for (step_ = 0; step_ < options_.steps && !failed_; step_++) {
        g_step = step_;
        uint32_t kind = pick(100);
        if (kind < 4) lifecycle_step();
        else if (kind < 40) callback_step();
        else if (kind < 48) { g_action = "alias free"; release_step(); check_step(loaded_, g_action); }
        else script_step();
        if (options_.verbose) {
            std::printf("step %ld: %s [copies %zu, held %zu]\n", step_, g_action.c_str(), expected_.size(),
                        held_.size());
        }
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() > options_.seconds) {
            step_++;
            break;
        }
    }
    std::printf("fuzz: seed %u, %ld steps, %d runtimes, %zu callbacks held\n", seed_, step_, generation_,
                held_.size());
    // Leave the plugin stopped and unloaded, its answers handed back. A
    // runtime that outlived an "unload" needs a "load" before "stop" ends it.
    g_step = -1;
    g_action = "ending the run";
    LoadRecord record = make_load_record(Directories());
    plugin_main("load", &record);
    plugin_main("stop", nullptr);
    plugin_main("unload", nullptr);
    loaded_ = runtime_ = false;
    step_calls_.clear();
    while (!answers_.empty()) release_step();
    g_carried.clear();
    for (const Held &held : held_) {
        if ((held.kind == Held::LIST || held.kind == Held::EVENTS) && !held.released) g_carried.push_back(held);
    }
    clear_answers();
    clear_calls();
    DestroyWindow(parent_);
}

} // namespace

TEST(Fuzz, HostAndScriptsNeverBreakThePlugin)
{
    SetUnhandledExceptionFilter(report_crash);
    // The host library drops the standard handles, as a GUI host has none;
    // the fuzzing keeps them, as a host started with redirected output does.
    ASSERT_TRUE(load_plugin_fixture(StandardHandles::Kept));
    std::string folder = fixture("plugin") + "\\fuzz-scripts";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (int index = 0; index < SupervisedCount; index++) {
        std::string head = index == SupervisedCount - 1 ? RestrictedHead : "";
        ASSERT_TRUE(write_file(folder + "\\" + SupervisedScripts[index] + ".tcl", head + "set ::loaded 1\n"));
    }
    write_init(fixture("plugin"), FuzzInit);
    FuzzOptions options = read_fuzz_options();
    for (uint32_t seed : options.seeds) {
        Fuzzer fuzzer(seed, options);
        fuzzer.run();
        if (HasFailure()) break;
    }
}

// --- Faults the fuzzing found, kept as plain tests -------------------------------

namespace {

// Starts a runtime from a fresh "load" and "start", with nothing recorded.
void fresh_start()
{
    clear_answers();
    load_and_start();
    clear_calls();
    clear_ui_calls();
}

void stop_and_unload()
{
    stop();
    unload();
    clear_calls();
    clear_ui_calls();
}

} // namespace

// After "unload" the runtime can still run scripts (the host stops it with
// "stop", not with "unload"), but no record reaches a host any more: a link
// copy or binding handed over in one would never come back to be freed.
TEST(FuzzFindings, CommandsWithoutAHostHandNothingOver)
{
    ASSERT_TRUE(load_plugin_fixture());
    fresh_start();
    unload();
    size_t live = live_copies();
    const char *const scripts[] = {
        "vellumar systraySetAlert t x http://link",
        "vellumar httpFileRequest http://u ::result",
        "vellumar httpFileRequest http://u",
        "vellumar eventsConnect {Connection: Change} {set x 1}",
        "vellumar listAddEntry section_id 1 parent_id 2 callback {set x 1}",
    };
    for (const char *script : scripts) {
        EvalResult result = eval(script);
        EXPECT_EQ(0, result.code) << script << ": " << result.result;
        EXPECT_EQ(live, live_copies()) << script;
    }
    EXPECT_TRUE(calls().empty());
    load();
    stop_and_unload();
}

// Each runtime writes to its standard channels, which are pipes here, so
// Tcl runs a writer thread of its own for each, still running after "stop".
static int cycles_with_piped_output(const std::string &argument)
{
    SetUnhandledExceptionFilter(report_crash);
    if (!load_plugin_fixture(StandardHandles::Kept)) return 2;
    int cycles = argument.empty() ? 20 : std::stoi(argument);
    // One processor, and Tcl's threads behind this one: they are then
    // still on their way out when "stop" unloads the library.
    SetProcessAffinityMask(GetCurrentProcess(), 1);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    for (int cycle = 0; cycle < cycles; cycle++) {
        load_and_start();
        EvalResult result = eval("puts stdout cycle; flush stdout; puts stderr cycle; flush stderr");
        if (result.code != 0) {
            std::printf("script failed: %s\n", result.result.c_str());
            return 3;
        }
        stop();
        unload();
        if (GetModuleHandleW(messenger::wide_of(fixture("plugin") + "\\bin\\tcl84t.dll").c_str()) == nullptr) {
            std::printf("the library was unloaded after cycle %d\n", cycle);
        }
    }
    std::printf("cycles done\n");
    return 0;
}
static ChildRegistration piped_output("piped_output", cycles_with_piped_output);

// Tcl's threads may still run after "stop": the library stays loaded for
// the next runtime and is never unloaded under them.
TEST(FuzzFindings, RestartsWhileTclsOwnThreadsRun)
{
    // Each cycle starts a runtime, which takes seconds in the virtual
    // machine; a third of them still leaves the threads behind.
    ChildResult child = run_child("piped_output", machine_slower() > 1 ? "10" : "30");
    EXPECT_EQ(0u, child.exit_code) << child.output.substr(child.output.size() > 2000 ? child.output.size() - 2000 : 0);
    EXPECT_NE(std::string::npos, child.output.find("cycles done"));
    EXPECT_EQ(std::string::npos, child.output.find("was unloaded")) << child.output;
}

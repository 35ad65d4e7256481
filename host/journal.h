// The journal of a run: every event the host saw that a scenario may check,
// in the order it happened. The session owns it; the host appends to it
// where each event happens, and only the `expect` lines read it.
#ifndef TOBRISK_HOST_JOURNAL_H
#define TOBRISK_HOST_JOURNAL_H

#include <cstddef>
#include <string>
#include <vector>

enum class Happened {
    Sent,          // the plugin sent a message: text, about = its target
    AlertRaised,   // text
    AlertClosed,   // text
    Box,           // a message box: text, about = its caption as shown, answer = the button
    Opened,        // a link opened: text
    Answer,        // a typed line's answer, or a tcl line's result: text
    TclResult,     // a tcl line: line, code, text = its result
};
const size_t HappenedCount = (size_t)Happened::TclResult + 1;

struct Event {
    Happened kind;
    std::string text;
    std::string about;
    std::string answer;
    int line = 0;
    int code = 0;
    bool checked = false;   // an `expect` line looked at it
};

struct Journal {
    std::vector<Event> events;
    // For each kind, where the next check of it starts looking: just past
    // the event its last passing check matched.
    size_t looked[HappenedCount] = {};

    void add(Happened kind, const std::string &text, const std::string &about = "", const std::string &answer = "");
    void add_tcl_result(int line, int code, const std::string &result);
    // The latest event of a kind; nullptr when there was none.
    Event *last(Happened kind);
};

#endif

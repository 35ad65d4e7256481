// The journal of a run.
#include "journal.h"

Event *Journal::last(Happened kind)
{
    for (size_t index = events.size(); index > 0; index--) {
        if (events[index - 1].kind == kind) return &events[index - 1];
    }
    return nullptr;
}

void Journal::add(Happened kind, const std::string &text, const std::string &about, const std::string &answer)
{
    Event event;
    event.kind = kind;
    event.text = text;
    event.about = about;
    event.answer = answer;
    events.push_back(event);
}

void Journal::add_tcl_result(int line, int code, const std::string &result)
{
    add(Happened::TclResult, result);
    events.back().line = line;
    events.back().code = code;
}

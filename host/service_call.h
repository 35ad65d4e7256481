// What the handlers of the host's services share: the answer a handler
// gives, the call's transcript line, and the handlers that live outside
// services.cpp.
#ifndef TOBRISK_HOST_SERVICE_CALL_H
#define TOBRISK_HOST_SERVICE_CALL_H

#include <string>

#include "session.h"
#include "words.h"

struct Reply {
    int32_t value = 0;
    std::string shown;   // the answer as the transcript shows it; else the value
    std::string note;    // why the host refused
};

// The call's line: opened once the record's fields are known, so that the
// callbacks an enumeration makes are nested under it.
struct CallLine {
    Session &session;
    std::string header;
    bool opened = false;
    void open(const std::string &fields)
    {
        session.out.begin(header + fields);
        opened = true;
    }
};

using Handler = Reply (*)(Session &, messenger::HostCall &, CallLine &);

template <typename Record> Record &record_of(messenger::HostCall &call)
{
    return *(Record *)call.record;
}

inline std::string text_field(const char *name, const char *text)
{
    return std::string(" ") + name + "=" + quoted_or_none(text);
}

inline std::string int_field(const char *name, int32_t value)
{
    return std::string(" ") + name + "=" + std::to_string(value);
}

// The contact list and the enumerations (list_services.cpp).
Reply list_add_entry(Session &session, messenger::HostCall &call, CallLine &line);
Reply list_remove_entry(Session &session, messenger::HostCall &call, CallLine &line);
Reply list_clear_entry(Session &session, messenger::HostCall &call, CallLine &line);
Reply list_get_group_count(Session &session, messenger::HostCall &call, CallLine &line);
Reply list_get_section_count(Session &session, messenger::HostCall &call, CallLine &line);
Reply list_update_text(Session &session, messenger::HostCall &call, CallLine &line);
Reply connection_enumerate(Session &session, messenger::HostCall &call, CallLine &line);
Reply contactlist_enumerate(Session &session, messenger::HostCall &call, CallLine &line);

#endif

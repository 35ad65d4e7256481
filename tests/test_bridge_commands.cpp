// The vellumar subcommands that talk to the host: the exact records they
// send, their results, and their refusals, which send nothing.
#include "bridge.h"

using namespace bridge;
using messenger::HostCall;

namespace {

class Commands : public Running {};

struct Refusal {
    const char *script;
    std::string message;
};

std::string usage(const char *text)
{
    return std::string("wrong # args: should be \"") + text + "\"";
}

// Every refusal fails with its exact message, sends nothing and copies no
// text, so no binding or link is left behind.
TEST_F(Commands, RefusalsSendNothing)
{
    const Refusal refusals[] = {
        {"vellumar listAddEntry", usage("listAddEntry key value ?key value ...?")},
        {"vellumar listAddEntry section_id 1 parent_id", usage("listAddEntry key value ?key value ...?")},
        {"vellumar listAddEntry {callback x section_id}", usage("listAddEntry key value ?key value ...?")},
        {"vellumar listAddEntry \"\\{a\"", "unmatched open brace in list"},
        {"vellumar listAddEntry callback x section_id x parent_id 2", "expected integer but got \"x\""},
        {"vellumar listAddEntry section_id 1 parent_id 2 expanded 1.5", "expected integer but got \"1.5\""},
        {"vellumar listAddEntry callback x Text hi", "unknown key: \"Text\": should be (see documentation)"},
        {"vellumar listAddEntry section_i 1", "unknown key: \"section_i\": should be (see documentation)"},
        {"vellumar listAddEntry section_id 1 parent_id 2 textx hi",
         "unknown key: \"textx\": should be (see documentation)"},
        {"vellumar listAddEntry {}", "section_id required when creating a list entry"},
        {"vellumar listAddEntry section_id 1", "parent_id required when creating a list entry"},
        {"vellumar listAddEntry parent_id 2", "section_id required when creating a list entry"},
        {"vellumar listAddEntry section_id -1 parent_id 1", "section_id required when creating a list entry"},
        {"vellumar listAddEntry callback x group 1 section 1 section_id 1",
         "group and section cannot both be non-zero"},
        {"vellumar listAddEntry callback x group 1", "section_id required when creating a group"},
        {"vellumar listRemoveEntry", usage("listRemoveEntry ?-section? unique_id")},
        {"vellumar listRemoveEntry 1 2 3", usage("listRemoveEntry ?-section? unique_id")},
        {"vellumar listRemoveEntry -section", usage("listRemoveEntry ?-section? unique_id")},
        {"vellumar listClearEntry -section", usage("listClearEntry ?-section? unique_id")},
        {"vellumar listClearEntry", usage("listClearEntry ?-section? unique_id")},
        {"vellumar listRemoveEntry -sec 3", "expected integer but got \"-sec\""},
        {"vellumar listClearEntry -section x", "expected integer but got \"x\""},
        {"vellumar listGetSectionCount", usage("listGetSectionCount section_id")},
        {"vellumar listGetSectionCount 1 2", usage("listGetSectionCount section_id")},
        {"vellumar listGetSectionCount s", "expected integer but got \"s\""},
        {"vellumar listGetGroupCount", usage("listGetGroupCount unique_id")},
        {"vellumar listGetGroupCount 1 2", usage("listGetGroupCount unique_id")},
        {"vellumar listGetGroupCount g", "expected integer but got \"g\""},
        {"vellumar listUpdateText 5", usage("listUpdateText unique_id text ?edit_string?")},
        {"vellumar listUpdateText 5 a b c", usage("listUpdateText unique_id text ?edit_string?")},
        {"vellumar listUpdateText q hi", "expected integer but got \"q\""},
        {"vellumar eventsConnect x", usage("eventsConnect type callback")},
        {"vellumar eventsConnect x y z", usage("eventsConnect type callback")},
        {"vellumar eventsDisconnect", usage("eventsDisconnect event_id")},
        {"vellumar eventsDisconnect 1 2", usage("eventsDisconnect event_id")},
        {"vellumar eventsDisconnect seven", "expected integer but got \"seven\""},
        {"vellumar connectionEnumerate", usage("connectionEnumerate medium")},
        {"vellumar connectionEnumerate a b", usage("connectionEnumerate medium")},
        {"vellumar contactlistEnumerate", usage("contactlistEnumerate medium ?connection_id? ?section?")},
        {"vellumar contactlistEnumerate a 1 s x",
         usage("contactlistEnumerate medium ?connection_id? ?section?")},
        {"vellumar messageSend a 1 t", usage("messageSend medium connection_id target message")},
        {"vellumar messageSend a 1 t m x", usage("messageSend medium connection_id target message")},
        {"vellumar systraySetAlert t", usage("systraySetAlert type text ?link? ?word_wrap? ?formatted?")},
        {"vellumar systraySetAlert t x l 1 1 extra",
         usage("systraySetAlert type text ?link? ?word_wrap? ?formatted?")},
        {"vellumar httpFileRequest", usage("httpFileRequest url ?resultVar?")},
        {"vellumar httpFileRequest u v w", usage("httpFileRequest url ?resultVar?")},
    };
    for (const Refusal &refusal : refusals) {
        size_t copies = messenger::copies_made();
        Outcome outcome = run(refusal.script);
        EXPECT_EQ(1, outcome.result.code) << refusal.script;
        EXPECT_EQ(refusal.message, outcome.result.result) << refusal.script;
        EXPECT_TRUE(outcome.calls.empty()) << refusal.script;
        EXPECT_EQ(copies, messenger::copies_made()) << refusal.script;
    }
}

TEST_F(Commands, ListAddEntryPlainEntry)
{
    messenger::set_answer("listAddEntry", 42);
    const char *scripts[] = {
        "vellumar listAddEntry section_id 1 parent_id 2 text Hello",
        "vellumar listAddEntry {section_id 1 parent_id 2 text Hello}",
    };
    for (const char *script : scripts) {
        Outcome outcome = run(script);
        EXPECT_EQ(0, outcome.result.code) << script;
        EXPECT_EQ("42", outcome.result.result) << script;
        HostCall call = sent(outcome, "listAddEntry");
        expect_record<ListEntryRecord>(call, list_words({{LIST(section_id), 1}, {LIST(parent_id), 2}}),
                                       {LIST(text)});
        EXPECT_EQ("Hello", call.text_at(LIST(text)));
        EXPECT_EQ(nullptr, call.userData);
        EXPECT_EQ(nullptr, call.callback);
    }
}

// Every key lands in its own field, unchanged: nothing is reduced to 0 or 1.
TEST_F(Commands, ListAddEntryEveryKey)
{
    Outcome outcome = run(
        "vellumar listAddEntry section_id 3 section_id 4 parent_id 5 previous_id 6 group 0 section 0 "
        "drag_and_drop 7 inline_editing 8 selectable 9 expanded 5 auto_expand 10 no_group_icon 11 "
        "no_double_click 12 owner_drawn 13 no_section_margins 14 floating 15 floating_x -16 "
        "floating_y 17 inline_editing_quick 18 tooltip tip text txt edit_string edit real_name real");
    ASSERT_EQ(0, outcome.result.code) << outcome.result.result;
    HostCall call = sent(outcome, "listAddEntry");
    expect_record<ListEntryRecord>(
        call,
        list_words({{LIST(section_id), 4},        {LIST(parent_id), 5},          {LIST(previous_id), 6},
                    {LIST(drag_and_drop), 7},     {LIST(inline_editing), 8},     {LIST(selectable), 9},
                    {LIST(expanded), 5},          {LIST(auto_expand), 10},       {LIST(no_group_icon), 11},
                    {LIST(no_double_click), 12},  {LIST(owner_drawn), 13},       {LIST(no_section_margins), 14},
                    {LIST(floating), 15},         {LIST(floating_x), -16},       {LIST(floating_y), 17},
                    {LIST(inline_editing_quick), 18}}),
        {LIST(tooltip), LIST(text), LIST(edit_string), LIST(real_name)});
    EXPECT_EQ("tip", call.text_at(LIST(tooltip)));
    EXPECT_EQ("txt", call.text_at(LIST(text)));
    EXPECT_EQ("edit", call.text_at(LIST(edit_string)));
    EXPECT_EQ("real", call.text_at(LIST(real_name)));
}

// A section's result is its own section_id, whatever the host answers.
TEST_F(Commands, ListAddEntrySectionsAndGroups)
{
    messenger::set_answer("listAddEntry", 99);
    struct Case {
        const char *script;
        const char *result;
        Words words;
    } cases[] = {
        {"vellumar listAddEntry section 1", "-1", {{LIST(section), 1}}},
        {"vellumar listAddEntry section 1 section_id 7", "7", {{LIST(section), 1}, {LIST(section_id), 7}}},
        {"vellumar listAddEntry group 2 section_id 3", "99", {{LIST(group), 2}, {LIST(section_id), 3}}},
    };
    for (const Case &entry : cases) {
        Outcome outcome = run(entry.script);
        EXPECT_EQ(0, outcome.result.code) << entry.script;
        EXPECT_EQ(entry.result, outcome.result.result) << entry.script;
        expect_record<ListEntryRecord>(sent(outcome, "listAddEntry"), list_words(entry.words));
    }
}

// The binding holds a copy of the script, even an empty one.
TEST_F(Commands, ListAddEntryCallbackBinding)
{
    for (const char *script : {"set ::clicked 1", ""}) {
        size_t copies = messenger::copies_made();
        Outcome outcome = run(std::string("vellumar listAddEntry section 1 callback {") + script + "}");
        ASSERT_EQ(0, outcome.result.code) << outcome.result.result;
        HostCall call = sent(outcome, "listAddEntry");
        expect_record<ListEntryRecord>(call, list_words({{LIST(section), 1}}), {LIST(userData), LIST(callback)});
        ASSERT_TRUE(call.binding_text.has_value());
        EXPECT_EQ(script, *call.binding_text);
        EXPECT_EQ(copies + 1, messenger::copies_made());
        EXPECT_TRUE(messenger::is_live_copy(binding_text(call.userData)));
        EXPECT_EQ(messenger::interp(), binding_interp(call.userData));
    }
}

TEST_F(Commands, ListIdentifierServices)
{
    messenger::set_answer("listRemoveEntry", -3);
    messenger::set_answer("listClearEntry", 4);
    messenger::set_answer("listGetSectionCount", 12);
    messenger::set_answer("listGetGroupCount", 13);
    messenger::set_answer("listUpdateText", 14);
    struct Case {
        const char *script;
        const char *service;
        const char *result;
        Words words;
    } cases[] = {
        {"vellumar listRemoveEntry -section 3", "listRemoveEntry", "-3", {{LIST(section_id), 3}}},
        {"vellumar listRemoveEntry 5", "listRemoveEntry", "-3", {{LIST(unique_id), 5}}},
        {"vellumar listRemoveEntry 5 6", "listRemoveEntry", "-3", {{LIST(unique_id), 5}}},
        {"vellumar listClearEntry -section 8", "listClearEntry", "4", {{LIST(section_id), 8}}},
        {"vellumar listClearEntry 9", "listClearEntry", "4", {{LIST(unique_id), 9}}},
        {"vellumar listGetSectionCount 10", "listGetSectionCount", "12", {{LIST(section_id), 10}}},
        {"vellumar listGetGroupCount 11", "listGetGroupCount", "13", {{LIST(unique_id), 11}}},
    };
    for (const Case &entry : cases) {
        Outcome outcome = run(entry.script);
        EXPECT_EQ(0, outcome.result.code) << entry.script;
        EXPECT_EQ(entry.result, outcome.result.result) << entry.script;
        expect_record<ListEntryRecord>(sent(outcome, entry.service), list_words(entry.words));
    }

    Outcome outcome = run("vellumar listUpdateText 5 hi");
    EXPECT_EQ("14", outcome.result.result);
    HostCall call = sent(outcome, "listUpdateText");
    expect_record<ListEntryRecord>(call, list_words({{LIST(unique_id), 5}}), {LIST(text)});
    EXPECT_EQ("hi", call.text_at(LIST(text)));

    outcome = run("vellumar listUpdateText 5 hi edit");
    call = sent(outcome, "listUpdateText");
    expect_record<ListEntryRecord>(call, list_words({{LIST(unique_id), 5}}), {LIST(text), LIST(edit_string)});
    EXPECT_EQ("edit", call.text_at(LIST(edit_string)));
}

TEST_F(Commands, EventsRecords)
{
    for (int32_t answer : {0, -5, 31}) {
        messenger::set_answer("eventsConnect", answer);
        Outcome outcome = run("vellumar eventsConnect {Connection: Change} {set ::x 1}");
        EXPECT_EQ(0, outcome.result.code);
        EXPECT_EQ(std::to_string(answer), outcome.result.result);
        HostCall call = sent(outcome, "eventsConnect");
        expect_record<EventsRecord>(call, {},
                                    {offsetof(EventsRecord, type), offsetof(EventsRecord, callback),
                                     offsetof(EventsRecord, userData)});
        EXPECT_EQ("Connection: Change", call.text_at(offsetof(EventsRecord, type)));
        EXPECT_EQ("set ::x 1", call.binding_text.value_or("(none)"));
    }

    messenger::set_answer("eventsDisconnect", -2);
    Outcome outcome = run("vellumar eventsDisconnect 7");
    EXPECT_EQ("-2", outcome.result.result);
    expect_record<EventsRecord>(sent(outcome, "eventsDisconnect"), {{offsetof(EventsRecord, event_id), 7}});
}

TEST_F(Commands, EnumerationRecords)
{
    Outcome outcome = run("vellumar connectionEnumerate ICQ");
    HostCall call = sent(outcome, "connectionEnumerate");
    expect_record<ConnectionEnumRecord>(call, {},
                                        {offsetof(ConnectionEnumRecord, medium),
                                         offsetof(ConnectionEnumRecord, callback),
                                         offsetof(ConnectionEnumRecord, userData)});
    EXPECT_EQ("ICQ", call.text_at(offsetof(ConnectionEnumRecord, medium)));

    struct Case {
        const char *script;
        int32_t connection;
        bool section;
    } cases[] = {
        {"vellumar contactlistEnumerate AIM", -1, false},
        {"vellumar contactlistEnumerate AIM 4", 4, false},
        {"vellumar contactlistEnumerate AIM x", 0, false},
        {"vellumar contactlistEnumerate AIM 2 {}", 2, true},
    };
    for (const Case &entry : cases) {
        outcome = run(entry.script);
        // A host that calls nothing back yields an empty list, also over a
        // conversion message.
        EXPECT_EQ(0, outcome.result.code) << entry.script;
        EXPECT_EQ("", outcome.result.result) << entry.script;
        call = sent(outcome, "contactlistEnumerate");
        std::set<size_t> pointers = {offsetof(ContactEnumRecord, medium), offsetof(ContactEnumRecord, callback),
                                     offsetof(ContactEnumRecord, userData)};
        if (entry.section) pointers.insert(offsetof(ContactEnumRecord, section));
        expect_record<ContactEnumRecord>(call, {{offsetof(ContactEnumRecord, connection_id), entry.connection}},
                                         pointers);
        EXPECT_EQ("AIM", call.text_at(offsetof(ContactEnumRecord, medium)));
        EXPECT_EQ(entry.section, call.has_text_at(offsetof(ContactEnumRecord, section))) << entry.script;
    }
    EXPECT_EQ("", call.text_at(offsetof(ContactEnumRecord, section)));
}

TEST_F(Commands, MessageSendRecord)
{
    messenger::set_answer("messageSend", 77);
    for (const char *id : {"3", "x"}) {
        Outcome outcome = run(std::string("vellumar messageSend ICQ ") + id + " bob {hello there}");
        EXPECT_EQ(0, outcome.result.code);
        EXPECT_EQ("77", outcome.result.result);
        HostCall call = sent(outcome, "messageSend");
        const size_t medium = offsetof(MessageSendRecord, medium), target = offsetof(MessageSendRecord, target),
                     kind = offsetof(MessageSendRecord, kind), text = offsetof(MessageSendRecord, text);
        expect_record<MessageSendRecord>(call, {{offsetof(MessageSendRecord, connection_id), id[0] == 'x' ? 0 : 3}},
                                         {medium, target, kind, text});
        EXPECT_EQ("ICQ", call.text_at(medium));
        EXPECT_EQ("bob", call.text_at(target));
        EXPECT_EQ("outgoing", call.text_at(kind));
        EXPECT_EQ("hello there", call.text_at(text));
    }
}

// The alert record puts the text before the type.
TEST_F(Commands, SystraySetAlertRecords)
{
    messenger::set_answer("systraySetAlert", 55);
    const size_t has_link = offsetof(AlertRecord, has_link), word_wrap = offsetof(AlertRecord, word_wrap),
                 formatted = offsetof(AlertRecord, formatted), link = offsetof(AlertRecord, link);
    struct Case {
        const char *script;
        const char *result;
        Words words;
        const char *link;
    } cases[] = {
        {"vellumar systraySetAlert kind words", "", {}, nullptr},
        {"vellumar systraySetAlert kind words {}", "", {{has_link, 1}}, ""},
        {"vellumar systraySetAlert kind words http://x 1", "", {{has_link, 1}, {word_wrap, 1}}, "http://x"},
        {"vellumar systraySetAlert kind words l 2 3", "", {{has_link, 1}, {word_wrap, 2}, {formatted, 3}}, "l"},
        {"vellumar systraySetAlert kind words l abc", "expected integer but got \"abc\"", {{has_link, 1}}, "l"},
        {"vellumar systraySetAlert kind words l 4 q", "expected integer but got \"q\"",
         {{has_link, 1}, {word_wrap, 4}}, "l"},
    };
    for (const Case &entry : cases) {
        size_t copies = messenger::copies_made();
        Outcome outcome = run(entry.script);
        EXPECT_EQ(0, outcome.result.code) << entry.script;
        EXPECT_EQ(entry.result, outcome.result.result) << entry.script;
        HostCall call = sent(outcome, "systraySetAlert");
        std::set<size_t> pointers = {offsetof(AlertRecord, text), offsetof(AlertRecord, type),
                                     offsetof(AlertRecord, callback)};
        if (entry.link != nullptr) pointers.insert(link);
        expect_record<AlertRecord>(call, entry.words, pointers);
        EXPECT_EQ("words", call.text_at(offsetof(AlertRecord, text)));
        EXPECT_EQ("kind", call.text_at(offsetof(AlertRecord, type)));
        EXPECT_EQ(entry.link != nullptr, call.has_text_at(link)) << entry.script;
        EXPECT_EQ(copies + (entry.link != nullptr ? 1 : 0), messenger::copies_made());
        if (entry.link == nullptr) continue;
        EXPECT_EQ(entry.link, call.text_at(link));
        EXPECT_TRUE(messenger::is_live_copy(call.userData));
        call.callback(0, 0, "alert_destroy", nullptr, call.userData);
    }
}

TEST_F(Commands, HttpFileRequestRecords)
{
    messenger::set_answer("httpFileRequest", 8);
    for (const char *variable : {"", " page"}) {
        size_t copies = messenger::copies_made();
        Outcome outcome = run(std::string("vellumar httpFileRequest http://example/") + variable);
        EXPECT_EQ(0, outcome.result.code);
        EXPECT_EQ("8", outcome.result.result);
        HostCall call = sent(outcome, "httpFileRequest");
        expect_record<HttpRequestRecord>(call, {},
                                         {offsetof(HttpRequestRecord, url), offsetof(HttpRequestRecord, callback),
                                          offsetof(HttpRequestRecord, userData)});
        EXPECT_EQ("http://example/", call.text_at(offsetof(HttpRequestRecord, url)));
        EXPECT_EQ(messenger::interp(), binding_interp(call.userData));
        bool named = variable[0] != '\0';
        EXPECT_EQ(named, call.binding_text.has_value());
        EXPECT_EQ(copies + (named ? 1 : 0), messenger::copies_made());
        if (named) EXPECT_EQ("page", *call.binding_text);
        call.callback(0, 0, "", nullptr, call.userData);
    }
}

} // namespace

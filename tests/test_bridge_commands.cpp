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
        expect_record(call, 188, list_words({{84, 1}, {88, 2}}), {160});
        EXPECT_EQ("Hello", call.text_at(160));
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
    expect_record(call, 188,
                  list_words({{84, 4}, {88, 5}, {92, 6}, {108, 7}, {112, 8}, {116, 9}, {120, 5},
                              {124, 10}, {128, 11}, {132, 12}, {136, 13}, {140, 14}, {144, 15},
                              {148, -16}, {152, 17}, {184, 18}}),
                  {156, 160, 164, 168});
    EXPECT_EQ("tip", call.text_at(156));
    EXPECT_EQ("txt", call.text_at(160));
    EXPECT_EQ("edit", call.text_at(164));
    EXPECT_EQ("real", call.text_at(168));
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
        {"vellumar listAddEntry section 1", "-1", {{104, 1}}},
        {"vellumar listAddEntry section 1 section_id 7", "7", {{104, 1}, {84, 7}}},
        {"vellumar listAddEntry group 2 section_id 3", "99", {{100, 2}, {84, 3}}},
    };
    for (const Case &entry : cases) {
        Outcome outcome = run(entry.script);
        EXPECT_EQ(0, outcome.result.code) << entry.script;
        EXPECT_EQ(entry.result, outcome.result.result) << entry.script;
        expect_record(sent(outcome, "listAddEntry"), 188, list_words(entry.words));
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
        expect_record(call, 188, list_words({{104, 1}}), {172, 180});
        ASSERT_TRUE(call.binding_text.has_value());
        EXPECT_EQ(script, *call.binding_text);
        EXPECT_EQ(copies + 1, messenger::copies_made());
        EXPECT_TRUE(messenger::is_live_copy(binding_text(call.userData)));
        EXPECT_EQ((void *)messenger::interp(), *(void **)call.userData);
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
        {"vellumar listRemoveEntry -section 3", "listRemoveEntry", "-3", {{84, 3}}},
        {"vellumar listRemoveEntry 5", "listRemoveEntry", "-3", {{96, 5}}},
        {"vellumar listRemoveEntry 5 6", "listRemoveEntry", "-3", {{96, 5}}},
        {"vellumar listClearEntry -section 8", "listClearEntry", "4", {{84, 8}}},
        {"vellumar listClearEntry 9", "listClearEntry", "4", {{96, 9}}},
        {"vellumar listGetSectionCount 10", "listGetSectionCount", "12", {{84, 10}}},
        {"vellumar listGetGroupCount 11", "listGetGroupCount", "13", {{96, 11}}},
    };
    for (const Case &entry : cases) {
        Outcome outcome = run(entry.script);
        EXPECT_EQ(0, outcome.result.code) << entry.script;
        EXPECT_EQ(entry.result, outcome.result.result) << entry.script;
        expect_record(sent(outcome, entry.service), 188, list_words(entry.words));
    }

    Outcome outcome = run("vellumar listUpdateText 5 hi");
    EXPECT_EQ("14", outcome.result.result);
    HostCall call = sent(outcome, "listUpdateText");
    expect_record(call, 188, list_words({{96, 5}}), {160});
    EXPECT_EQ("hi", call.text_at(160));

    outcome = run("vellumar listUpdateText 5 hi edit");
    call = sent(outcome, "listUpdateText");
    expect_record(call, 188, list_words({{96, 5}}), {160, 164});
    EXPECT_EQ("edit", call.text_at(164));
}

TEST_F(Commands, EventsRecords)
{
    for (int32_t answer : {0, -5, 31}) {
        messenger::set_answer("eventsConnect", answer);
        Outcome outcome = run("vellumar eventsConnect {Connection: Change} {set ::x 1}");
        EXPECT_EQ(0, outcome.result.code);
        EXPECT_EQ(std::to_string(answer), outcome.result.result);
        HostCall call = sent(outcome, "eventsConnect");
        expect_record(call, 20, {{0, 20}}, {4, 12, 16});
        EXPECT_EQ("Connection: Change", call.text_at(4));
        EXPECT_EQ("set ::x 1", call.binding_text.value_or("(none)"));
    }

    messenger::set_answer("eventsDisconnect", -2);
    Outcome outcome = run("vellumar eventsDisconnect 7");
    EXPECT_EQ("-2", outcome.result.result);
    expect_record(sent(outcome, "eventsDisconnect"), 20, {{0, 20}, {8, 7}});
}

TEST_F(Commands, EnumerationRecords)
{
    Outcome outcome = run("vellumar connectionEnumerate ICQ");
    HostCall call = sent(outcome, "connectionEnumerate");
    expect_record(call, 16, {{0, 16}}, {4, 8, 12});
    EXPECT_EQ("ICQ", call.text_at(4));

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
        std::set<size_t> pointers = {4, 12, 16};
        if (entry.section) pointers.insert(20);
        expect_record(call, 24, {{0, 24}, {8, entry.connection}}, pointers);
        EXPECT_EQ("AIM", call.text_at(4));
        EXPECT_EQ(entry.section, call.has_text_at(20)) << entry.script;
    }
    EXPECT_EQ("", call.text_at(20));
}

TEST_F(Commands, MessageSendRecord)
{
    messenger::set_answer("messageSend", 77);
    for (const char *id : {"3", "x"}) {
        Outcome outcome = run(std::string("vellumar messageSend ICQ ") + id + " bob {hello there}");
        EXPECT_EQ(0, outcome.result.code);
        EXPECT_EQ("77", outcome.result.result);
        HostCall call = sent(outcome, "messageSend");
        expect_record(call, 52, {{0, 52}, {8, id[0] == 'x' ? 0 : 3}}, {4, 12, 16, 20});
        EXPECT_EQ("ICQ", call.text_at(4));
        EXPECT_EQ("bob", call.text_at(12));
        EXPECT_EQ("outgoing", call.text_at(16));
        EXPECT_EQ("hello there", call.text_at(20));
    }
}

// The alert record puts the text before the type.
TEST_F(Commands, SystraySetAlertRecords)
{
    messenger::set_answer("systraySetAlert", 55);
    struct Case {
        const char *script;
        const char *result;
        Words words;
        const char *link;
    } cases[] = {
        {"vellumar systraySetAlert kind words", "", {}, nullptr},
        {"vellumar systraySetAlert kind words {}", "", {{20, 1}}, ""},
        {"vellumar systraySetAlert kind words http://x 1", "", {{20, 1}, {12, 1}}, "http://x"},
        {"vellumar systraySetAlert kind words l 2 3", "", {{20, 1}, {12, 2}, {16, 3}}, "l"},
        {"vellumar systraySetAlert kind words l abc", "expected integer but got \"abc\"", {{20, 1}}, "l"},
        {"vellumar systraySetAlert kind words l 4 q", "expected integer but got \"q\"", {{20, 1}, {12, 4}},
         "l"},
    };
    for (const Case &entry : cases) {
        size_t copies = messenger::copies_made();
        Outcome outcome = run(entry.script);
        EXPECT_EQ(0, outcome.result.code) << entry.script;
        EXPECT_EQ(entry.result, outcome.result.result) << entry.script;
        HostCall call = sent(outcome, "systraySetAlert");
        Words words = entry.words;
        words[0] = 36;
        std::set<size_t> pointers = {4, 8, 24};
        if (entry.link != nullptr) pointers.insert(28);
        expect_record(call, 36, words, pointers);
        EXPECT_EQ("words", call.text_at(4));
        EXPECT_EQ("kind", call.text_at(8));
        EXPECT_EQ(entry.link != nullptr, call.has_text_at(28)) << entry.script;
        EXPECT_EQ(copies + (entry.link != nullptr ? 1 : 0), messenger::copies_made());
        if (entry.link == nullptr) continue;
        EXPECT_EQ(entry.link, call.text_at(28));
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
        expect_record(call, 16, {{0, 16}}, {4, 8, 12});
        EXPECT_EQ("http://example/", call.text_at(4));
        EXPECT_EQ((void *)messenger::interp(), *(void **)call.userData);
        bool named = variable[0] != '\0';
        EXPECT_EQ(named, call.binding_text.has_value());
        EXPECT_EQ(copies + (named ? 1 : 0), messenger::copies_made());
        if (named) EXPECT_EQ("page", *call.binding_text);
        call.callback(0, 0, "", nullptr, call.userData);
    }
}

} // namespace

// The stand-in messenger's own rules, apart from any plugin: how scenario
// lines split into words, how texts are shown, and how the contact list
// and the fixture lines change the model.
#include <gtest/gtest.h>

#include <cstring>

#include "host/model.h"
#include "host/words.h"

namespace {

TEST(Words, SplitQuotedAndLimited)
{
    struct Case {
        const char *line;
        size_t limit;
        std::vector<std::string> words;
    } cases[] = {
        {"connect ICQ alice", (size_t)-1, {"connect", "ICQ", "alice"}},
        {"  spaced \t out  ", (size_t)-1, {"spaced", "out"}},
        {"contact ICQ a \"Bob B.\" \"\"", (size_t)-1, {"contact", "ICQ", "a", "Bob B.", ""}},
        {"say \"a \\\"quote\\\" \\\\ and\\nline\"", (size_t)-1, {"say", "a \"quote\" \\ and\nline"}},
        {"tcl set x {\"}", 1, {"tcl"}},
        {"expect answer \"open", 2, {"expect", "answer"}},
    };
    for (const Case &c : cases) {
        std::vector<std::string> words;
        std::string error;
        EXPECT_TRUE(split_words(c.line, words, error, c.limit)) << c.line;
        EXPECT_EQ(c.words, words) << c.line;
    }
    std::vector<std::string> words;
    std::string error;
    EXPECT_FALSE(split_words("say \"unclosed", words, error));
    EXPECT_EQ("a double quote is not closed", error);
}

TEST(Words, RestKeepsTheTextAsTyped)
{
    EXPECT_EQ("Hello  there ", rest_after_words("expect message bob Hello  there ", 3));
    EXPECT_EQ("hi \"x\"", rest_after_words("expect message \"the team\" hi \"x\"", 3));
    EXPECT_EQ(" indented", rest_after_words("say  indented", 1));
    EXPECT_EQ("", rest_after_words("expect answer", 2));
    EXPECT_EQ("", rest_after_words("say \"unclosed", 2));
}

TEST(Words, IntegersAreWholeAnd32Bit)
{
    long value = 0;
    EXPECT_TRUE(parse_int("-17", value));
    EXPECT_EQ(-17, value);
    EXPECT_TRUE(parse_int("2147483647", value));
    for (const char *bad : {"", "12x", "x", " 1", "1.5", "2147483648", "-2147483649"}) {
        EXPECT_FALSE(parse_int(bad, value)) << bad;
    }
}

TEST(Words, QuotedTextsStayOnOneLine)
{
    EXPECT_EQ("\"a\\\"b\\\\c\\nd\\te\\x01\"", quoted(std::string("a\"b\\c\nd\te\x01")));
    EXPECT_EQ("\"Grüße\"", quoted("Grüße"));
    EXPECT_EQ("none", quoted_or_none(nullptr));
    EXPECT_EQ("\"C:\\dir\"", quoted_path("C:\\dir"));
}

// What `expect` reads back from a text written the way the transcript
// writes it: every text survives the round trip, and a backslash that is no
// escape stays as typed.
TEST(Words, UnescapedReadsWhatQuotedWrites)
{
    for (const std::string &text : {std::string("a\"b\\c\nd\te\x01\r"), std::string("\x7f\x1f"),
                                    std::string("Grüße"), std::string()}) {
        std::string written = quoted(text);
        EXPECT_EQ(text, unescaped(written.substr(1, written.size() - 2))) << written;
    }
    EXPECT_EQ("C:\\dir\\x", unescaped("C:\\dir\\x"));
    EXPECT_EQ("\\xG1 \\x4", unescaped("\\xG1 \\x4"));
    EXPECT_EQ("end\\", unescaped("end\\"));
    EXPECT_EQ("\xff", unescaped("\\xfF"));
}

// A name handed to the script supervisor is one Tcl word, whatever it holds.
TEST(Words, TclWordQuotesWhatTclWouldRead)
{
    EXPECT_EQ("{}", tcl_word(""));
    EXPECT_EQ("plain.tcl", tcl_word("plain.tcl"));
    EXPECT_EQ("my\\ \\[odd\\]\\ \\$name\\;\\{\\}\\\"\\\\", tcl_word("my [odd] $name;{}\"\\"));
    EXPECT_EQ("two\\nlines", tcl_word("two\nlines"));
}

ListEntryRecord entry_record()
{
    ListEntryRecord record;
    std::memset(&record, 0, sizeof record);
    record.size = sizeof record;
    record.section_id = record.parent_id = record.previous_id = record.unique_id = -1;
    record.selectable = 1;
    return record;
}

ListEntryRecord section(int32_t id)
{
    ListEntryRecord record = entry_record();
    record.section = 1;
    record.section_id = id;
    return record;
}

ListEntryRecord child(int32_t section_id, int32_t parent, const char *text, int32_t previous = -1)
{
    ListEntryRecord record = entry_record();
    record.section_id = section_id;
    record.parent_id = parent;
    record.previous_id = previous;
    record.text = text;
    return record;
}

TEST(ContactList, RefusesWhatCannotBe)
{
    ContactList list;
    ListEntryRecord both = section(5);
    both.group = 1;
    EXPECT_EQ(0, list.add(both, nullptr).answer);
    EXPECT_EQ(0, list.add(section(0), nullptr).answer);
    EXPECT_EQ(0, list.add(section(-7), nullptr).answer);
    EXPECT_EQ(0u, list.size());
    // A section may take a number the host would hand out; the host then
    // skips it.
    EXPECT_EQ(1001, list.add(section(1001), nullptr).answer);
    EXPECT_EQ(1002, list.add(child(1001, -1, "first"), nullptr).answer);
    EXPECT_EQ(0, list.add(section(1002), nullptr).answer);
}

TEST(ContactList, PlacesAfterThePreviousSibling)
{
    ContactList list;
    list.add(section(1), nullptr);
    int32_t a = list.add(child(1, 1, "a"), nullptr).answer;
    list.add(child(1, 1, "c"), nullptr);
    list.add(child(1, 1, "b", a), nullptr);
    list.add(child(1, 1, "d", 4242), nullptr);
    std::vector<std::string> expected = {"section 1 \"\"", "  entry 1001 \"a\"", "  entry 1003 \"b\"",
                                         "  entry 1002 \"c\"", "  entry 1004 \"d\""};
    EXPECT_EQ(expected, list.describe());
}

TEST(ContactList, RemovingTakesTheWholeSubtree)
{
    ContactList list;
    list.add(section(1), nullptr);
    int32_t group = list.add(child(1, 1, "group"), nullptr).answer;
    int32_t inner = list.add(child(1, group, "inner"), nullptr).answer;
    list.add(child(1, inner, "deepest"), nullptr);
    ListEntryRecord remove = entry_record();
    remove.unique_id = group;
    EXPECT_EQ(1, list.remove(remove).answer);
    EXPECT_EQ(1u, list.size());
    EXPECT_EQ(nullptr, list.find(inner));
    // The freed numbers are not handed out again.
    EXPECT_EQ(1004, list.add(child(1, 1, "new"), nullptr).answer);
}

TEST(ContactList, UpdateKeepsTheEditStringWhenNoneIsGiven)
{
    ContactList list;
    list.add(section(1), nullptr);
    ListEntryRecord first = child(1, 1, "old");
    first.edit_string = "edit";
    int32_t id = list.add(first, nullptr).answer;
    ListEntryRecord update = entry_record();
    update.unique_id = id;
    update.text = "new";
    EXPECT_EQ(1, list.update_text(update).answer);
    EXPECT_EQ("new", list.find(id)->text);
    EXPECT_EQ("edit", list.find(id)->edit_string);
}

TEST(Fixture, LinesAddConnectionsAndContacts)
{
    Model model;
    std::string error;
    ASSERT_TRUE(model.add_from_words({"connection", "ICQ", "alice"}, error));
    EXPECT_EQ("offline", model.connections[0].status);
    EXPECT_EQ("alice", model.connections[0].display);
    ASSERT_TRUE(model.add_from_words({"contact", "icq", "alice", "bob"}, error));
    EXPECT_EQ("ICQ", model.contacts[0].medium);
    EXPECT_EQ(1, model.contacts[0].connection_id);
    EXPECT_EQ("Contacts", model.contacts[0].section);

    struct Bad {
        std::vector<std::string> words;
        const char *error;
    } bad[] = {
        {{"connection", "ICQ", "alice"}, "connection ICQ alice exists already"},
        {{"contact", "ICQ", "nobody", "bob"}, "no connection ICQ nobody"},
        {{"connection", "ICQ"}, "usage: connection MEDIUM NAME [STATUS [DISPLAY]]"},
        {{"account", "ICQ", "x"}, "expected a connection or contact line"},
        {{}, "expected a connection or contact line"},
    };
    for (const Bad &line : bad) {
        EXPECT_FALSE(model.add_from_words(line.words, error));
        EXPECT_EQ(line.error, error);
    }
    EXPECT_EQ(1u, model.connections.size());
    EXPECT_EQ(1u, model.contacts.size());
}

TEST(Fixture, EnumerationsFilterByMediumConnectionAndSection)
{
    Model model;
    std::string error;
    model.add_from_words({"connection", "ICQ", "a", "online"}, error);
    model.add_from_words({"connection", "MSN", "b", "online"}, error);
    model.add_from_words({"contact", "ICQ", "a", "x", "X", "online", "Friends"}, error);
    model.add_from_words({"contact", "MSN", "b", "y", "Y", "online", "Work"}, error);
    EXPECT_EQ(2u, model.connections_of("").size());
    EXPECT_EQ(1u, model.connections_of("msn").size());
    EXPECT_EQ(2u, model.contacts_of("", -1, nullptr).size());
    EXPECT_EQ(0u, model.contacts_of("ICQ", 2, nullptr).size());
    EXPECT_EQ(1u, model.contacts_of("", -1, "Work").size());
    EXPECT_EQ(0u, model.contacts_of("", -1, "work").size());
}

} // namespace

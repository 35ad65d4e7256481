// Helpers of the script-bridge tests: one running plugin per program, a
// script run that captures what reached the host, and record comparison.
#ifndef TOBRISK_TESTS_BRIDGE_H
#define TOBRISK_TESTS_BRIDGE_H

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support.h"

namespace bridge {

using messenger::HostCall;

// Loads and starts the plugin once for the whole program, with an
// init.tcl that does nothing.
class Running : public testing::Test {
public:
    static void SetUpTestSuite()
    {
        if (messenger::interp() == nullptr) ASSERT_TRUE(load_and_start_plugin());
        ASSERT_NE(nullptr, messenger::interp());
    }

protected:
    void SetUp() override
    {
        messenger::clear_calls();
        messenger::clear_ui_calls();
        messenger::clear_answers();
    }
};

// A script and what came of it: its completion and every service call.
struct Outcome {
    messenger::EvalResult result;
    std::vector<HostCall> calls;
};

inline Outcome run(const std::string &script)
{
    messenger::clear_calls();
    Outcome outcome;
    outcome.result = messenger::eval(script);
    outcome.calls = messenger::calls();
    return outcome;
}

// The one call a script made, which must have gone to `service`.
inline HostCall sent(const Outcome &outcome, const std::string &service)
{
    EXPECT_EQ(1u, outcome.calls.size());
    if (outcome.calls.empty()) return HostCall();
    EXPECT_EQ(service, outcome.calls[0].service);
    EXPECT_EQ(PluginGuid, outcome.calls[0].guid);
    return outcome.calls[0];
}

using Words = std::map<size_t, int32_t>;

// A record must be a `Record`, its first word its size, and zero but for
// `words`; the `pointers` offsets must hold some non-null pointer (texts,
// callbacks, userData), checked separately.
template <typename Record>
void expect_record(const HostCall &call, const Words &words, const std::set<size_t> &pointers = {})
{
    const size_t size = sizeof(Record);
    ASSERT_EQ(size, call.bytes.size()) << call.service;
    for (size_t offset = 0; offset < size; offset += 4) {
        if (pointers.count(offset) != 0) {
            EXPECT_NE(0u, call.word_at(offset)) << call.service << " pointer at " << offset;
            continue;
        }
        auto word = words.find(offset);
        int32_t expected = offset == 0 ? (int32_t)size : word == words.end() ? 0 : word->second;
        EXPECT_EQ(expected, call.int_at(offset)) << call.service << " offset " << offset;
    }
}

// The words of a fresh ListEntryRecord with `changes` applied: the inner
// block (its size, 1, zero bytes, then -1 in every absent word), -1 in the
// four identifiers and selectable 1.
inline Words list_words(const Words &changes = {})
{
    Words words = {{LIST(section_id), -1}, {LIST(parent_id), -1}, {LIST(previous_id), -1},
                   {LIST(unique_id), -1}, {LIST(selectable), 1}};
    const size_t inner = LIST(inner);
    words[inner + offsetof(ListEntryInnerBlock, size)] = sizeof(ListEntryInnerBlock);
    words[inner + offsetof(ListEntryInnerBlock, one)] = 1;
    const size_t absent = inner + offsetof(ListEntryInnerBlock, absent);
    for (size_t offset = absent; offset < inner + sizeof(ListEntryInnerBlock); offset += 4) words[offset] = -1;
    for (const auto &change : changes) words[change.first] = change.second;
    return words;
}

using messenger::binding_interp;
using messenger::binding_text;

} // namespace bridge

#endif

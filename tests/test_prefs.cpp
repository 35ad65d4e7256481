// The preferences page: "prefsShow" and "prefsAction" with real windows,
// and the page's bitmap.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "support.h"

namespace {

// A window of the host's that the page lives in.
HWND make_parent()
{
    return CreateWindowExA(0, "STATIC", "preferences", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// A "prefsShow" record as the host fills it: the out fields hold a marker
// so that what the plugin wrote can be told from what it did not.
struct ShowRecord {
    PrefsShowRecord record;
    explicit ShowRecord(const char *page, int32_t show, HWND parent, int32_t x = 0, int32_t y = 0)
    {
        std::memset(&record, 0x5A, sizeof record);
        record.show = show;
        record.page = page;
        record.parent = parent;
        record.x = x;
        record.y = y;
    }
    bool untouched() const
    {
        const uint8_t *bytes = (const uint8_t *)&record;
        for (size_t offset = offsetof(PrefsShowRecord, name); offset < sizeof record; offset++) {
            if (bytes[offset] != 0x5A) return false;
        }
        return true;
    }
};

int32_t show(ShowRecord &show_record) { return messenger::plugin_main("prefsShow", &show_record.record); }

int32_t action(int32_t value)
{
    PrefsActionRecord record = {};
    record.action = value;
    return messenger::plugin_main("prefsAction", &record);
}

// The window of the latest "dialogAdd"; checks the record's shape.
HWND added_window()
{
    std::vector<messenger::HostCall> adds = messenger::calls_to("dialogAdd");
    if (adds.empty()) return nullptr;
    const messenger::HostCall &add = adds.back();
    EXPECT_EQ(sizeof(DialogRecord), add.bytes.size());
    EXPECT_EQ((int32_t)sizeof(DialogRecord), add.int_at(offsetof(DialogRecord, size)));
    return (HWND)(uintptr_t)add.word_at(offsetof(DialogRecord, window));
}

// Where a page sits in its parent's client area.
POINT position_in(HWND window, HWND parent)
{
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, parent, (POINT *)&rect, 2);
    return {rect.left, rect.top};
}

void start_plugin()
{
    static bool started = false;
    if (started) return;
    started = true;
    ASSERT_TRUE(load_and_start_plugin());
}

class PrefsTest : public testing::Test {
protected:
    void SetUp() override
    {
        start_plugin();
        parent = make_parent();
        ASSERT_NE(nullptr, parent);
        messenger::clear_calls();
    }
    // Every test leaves no page behind.
    void TearDown() override
    {
        action(0);
        DestroyWindow(parent);
        messenger::clear_answers();
        messenger::clear_calls();
    }
    HWND parent = nullptr;
};

TEST_F(PrefsTest, OtherPagesAreLeftAlone)
{
    for (const char *page : {"tobrisk", "TOBRISK", "Tobris", "Tobrisk2", ""}) {
        SCOPED_TRACE(page);
        ShowRecord record(page, 1, parent);
        EXPECT_EQ(0, show(record));
        EXPECT_TRUE(record.untouched());
    }
    ShowRecord nameless(nullptr, 1, parent);
    EXPECT_EQ(0, show(nameless));
    EXPECT_TRUE(nameless.untouched());
    EXPECT_TRUE(messenger::calls().empty());
}

TEST_F(PrefsTest, ShowWritesNameDescriptionAndZero)
{
    for (int32_t flag : {1, 0, 5}) {
        SCOPED_TRACE(flag);
        ShowRecord record("Tobrisk", flag, parent);
        EXPECT_EQ(0, show(record));
        EXPECT_STREQ("Tobrisk", record.record.name);
        EXPECT_STREQ("Tcl scripting as a Vellumar plugin", record.record.description);
        EXPECT_EQ(0, record.record.zero);
        // Only the texts and their terminators are written.
        EXPECT_EQ(0x5A, (uint8_t)record.record.name[8]);
        EXPECT_EQ(0x5A, (uint8_t)record.record.description[35]);
    }
}

TEST_F(PrefsTest, OneWindowStaysAtTheFirstPosition)
{
    ShowRecord first("Tobrisk", 1, parent, 10, 20);
    show(first);
    ASSERT_EQ(1u, messenger::calls_to("dialogAdd").size());
    HWND page = added_window();
    ASSERT_TRUE(IsWindow(page));
    EXPECT_EQ(parent, GetParent(page));
    EXPECT_TRUE(IsWindowVisible(page));
    POINT at = position_in(page, parent);
    EXPECT_EQ(10, at.x);
    EXPECT_EQ(20, at.y);

    ShowRecord second("Tobrisk", 1, parent, 50, 60);
    show(second);
    EXPECT_EQ(1u, messenger::calls_to("dialogAdd").size());
    at = position_in(page, parent);
    EXPECT_EQ(10, at.x);
    EXPECT_EQ(20, at.y);
    EXPECT_TRUE(IsWindowVisible(page));
}

TEST_F(PrefsTest, ShowFlagsHideShowOrLeaveAlone)
{
    ShowRecord open("Tobrisk", 1, parent);
    show(open);
    HWND page = added_window();
    ASSERT_TRUE(IsWindow(page));

    ShowRecord other("Tobrisk", 5, parent);
    show(other);
    EXPECT_TRUE(IsWindowVisible(page));

    ShowRecord hide("Tobrisk", 0, parent);
    show(hide);
    EXPECT_TRUE(IsWindow(page));
    EXPECT_FALSE(IsWindowVisible(page));
    show(other);
    EXPECT_FALSE(IsWindowVisible(page));

    show(open);
    EXPECT_TRUE(IsWindowVisible(page));
    EXPECT_EQ(1u, messenger::calls_to("dialogAdd").size());
    EXPECT_TRUE(messenger::calls_to("dialogRemove").empty());
}

TEST_F(PrefsTest, ActionsZeroAndTwoDestroyThePage)
{
    struct Case {
        int32_t action;
        bool destroys;
    };
    const Case cases[] = {{1, false}, {0, true}, {2, true}, {3, false}, {-1, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.action);
        messenger::clear_calls();
        ShowRecord open("Tobrisk", 1, parent);
        show(open);
        HWND page = added_window();
        ASSERT_TRUE(IsWindow(page));
        // The host is told before the window goes.
        bool alive_when_removed = false;
        messenger::set_answer("dialogRemove", [&](messenger::HostCall &) {
            alive_when_removed = IsWindow(page) != 0;
            return 0;
        });
        EXPECT_EQ(0, action(c.action));
        std::vector<messenger::HostCall> removes = messenger::calls_to("dialogRemove");
        if (c.destroys) {
            ASSERT_EQ(1u, removes.size());
            EXPECT_EQ(sizeof(DialogRecord), removes[0].bytes.size());
            EXPECT_EQ((int32_t)sizeof(DialogRecord), removes[0].int_at(offsetof(DialogRecord, size)));
            EXPECT_EQ((uintptr_t)page, removes[0].word_at(offsetof(DialogRecord, window)));
            EXPECT_TRUE(alive_when_removed);
            EXPECT_FALSE(IsWindow(page));
            // A second action finds no page.
            EXPECT_EQ(0, action(c.action));
            EXPECT_EQ(1u, messenger::calls_to("dialogRemove").size());
            // The next show makes a new page.
            show(open);
            EXPECT_EQ(2u, messenger::calls_to("dialogAdd").size());
            EXPECT_TRUE(IsWindow(added_window()));
        } else {
            EXPECT_TRUE(removes.empty());
            EXPECT_TRUE(IsWindowVisible(page));
        }
        messenger::clear_answers();
        action(0);
    }
}

TEST_F(PrefsTest, NothingToActOnDoesNothing)
{
    // Hiding or flag 5 without a page makes none.
    ShowRecord hide("Tobrisk", 0, parent);
    show(hide);
    ShowRecord other("Tobrisk", 5, parent);
    show(other);
    EXPECT_TRUE(messenger::calls().empty());
    EXPECT_EQ(nullptr, GetWindow(parent, GW_CHILD));

    // Events without a record.
    ShowRecord open("Tobrisk", 1, parent);
    show(open);
    HWND page = added_window();
    messenger::clear_calls();
    EXPECT_EQ(0, messenger::plugin_main("prefsShow", nullptr));
    EXPECT_EQ(0, messenger::plugin_main("prefsAction", nullptr));
    EXPECT_TRUE(messenger::calls().empty());
    EXPECT_TRUE(IsWindowVisible(page));
}

TEST_F(PrefsTest, PageThatCannotBeMadeIsNotRegistered)
{
    HWND not_a_window = (HWND)(uintptr_t)0x7FFF1234;
    ASSERT_FALSE(IsWindow(not_a_window));
    ShowRecord record("Tobrisk", 1, not_a_window, 10, 20);
    EXPECT_EQ(0, show(record));
    EXPECT_STREQ("Tobrisk", record.record.name);
    EXPECT_TRUE(messenger::calls().empty());
    // Nothing is held: hiding and closing find no page, and the next show
    // with a real parent makes one.
    ShowRecord hide("Tobrisk", 0, not_a_window);
    show(hide);
    action(0);
    EXPECT_TRUE(messenger::calls().empty());
    ShowRecord open("Tobrisk", 1, parent, 10, 20);
    show(open);
    ASSERT_EQ(1u, messenger::calls_to("dialogAdd").size());
    EXPECT_TRUE(IsWindowVisible(added_window()));
}

TEST(PrefsBitmap, LoadedOnceAtStart)
{
    start_plugin();
    const std::vector<messenger::BitmapLoad> &loads = messenger::bitmaps_loaded();
    ASSERT_EQ(1u, loads.size());
    EXPECT_EQ(127u, loads[0].id);
    BITMAP bitmap = {};
    ASSERT_NE(0, GetObjectA(loads[0].bitmap, sizeof bitmap, &bitmap));
    EXPECT_EQ(16, bitmap.bmWidth);
    EXPECT_EQ(16, bitmap.bmHeight);

    // Another "start" keeps the bitmap it holds.
    messenger::start();
    EXPECT_EQ(1u, messenger::bitmaps_loaded().size());
    EXPECT_TRUE(messenger::objects_deleted().empty());
}

// --- In a child process: "stop" and "unload" --------------------------------


// "stop" leaves an open page alone; "unload" frees the bitmap and removes
// and destroys the page.
int child_unload(const std::string &)
{
    if (!load_and_start_plugin()) return 90;
    HWND parent = make_parent();
    CHECK(parent != nullptr);
    ShowRecord open("Tobrisk", 1, parent);
    show(open);
    HWND page = added_window();
    CHECK(IsWindow(page));

    messenger::stop();
    CHECK(messenger::calls_to("dialogRemove").empty());
    CHECK(IsWindowVisible(page));
    CHECK(messenger::objects_deleted().empty());

    messenger::clear_calls();
    messenger::unload();
    std::vector<messenger::HostCall> removes = messenger::calls_to("dialogRemove");
    CHECK(removes.size() == 1);
    CHECK(removes.size() == 1 && removes[0].word_at(offsetof(DialogRecord, window)) == (uintptr_t)page);
    CHECK(!IsWindow(page));
    CHECK(messenger::bitmaps_loaded().size() == 1);
    CHECK(messenger::objects_deleted().size() == 1);
    CHECK(messenger::objects_deleted().size() == 1 &&
          messenger::objects_deleted()[0] == (HGDIOBJ)messenger::bitmaps_loaded()[0].bitmap);

    // Without a service function nothing more is sent.
    messenger::clear_calls();
    messenger::unload();
    CHECK(messenger::calls().empty());
    CHECK(messenger::objects_deleted().size() == 1);
    return child_failures();
}
ChildRegistration unload_child("unload", child_unload);

TEST(PrefsLifecycle, UnloadFreesBitmapAndDestroysPage)
{
    messenger::ChildResult result = run_child("unload");
    EXPECT_EQ(0u, result.exit_code) << result.output;
}

} // namespace

#include <gtest/gtest.h>
#include "support.h"
TEST(Lifecycle, Placeholder) {
    ASSERT_TRUE(testhost::load_plugin(fixture("plugin")));
    EXPECT_EQ(2, testhost::plugin_version());
}

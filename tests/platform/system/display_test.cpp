#include "platform/system/display.h"

#include <gtest/gtest.h>

namespace velm {
namespace {

TEST(Display, OffscreenPlatformGivesTheVirtualDisplay)
{
    // The test programs run on the offscreen platform, whose screen is invented.
    const DisplayMetrics m = displayMetrics();
    EXPECT_EQ(m.widthPx, 1024);
    EXPECT_EQ(m.heightPx, 768);
    EXPECT_EQ(m.logPixelsX, 96);
    EXPECT_EQ(m.logPixelsY, 96);
}

} // namespace
} // namespace velm

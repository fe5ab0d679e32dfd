#include "Platform/Host/WindowPlace.h"

#include <gtest/gtest.h>

namespace {

using ui::WindowPlace;

constexpr gfx::Size phone { 320, 480 };

TEST(WindowPlaceTest, TheSettingReadsBackOnlyAsAFrame)
{
    EXPECT_EQ(WindowPlace::format({ 140, -20, 700, 820 }), "140 -20 700 820");
    EXPECT_EQ(WindowPlace::parse("140 -20 700 820"), gfx::Rect(140, -20, 700, 820));
    for (const char* damaged : { "", "140 -20 700", "140 -20 700 820 5", "a b c d", "0 0 0 600", "0 0 600 -1",
             "0 0 99999999999 600", "1.5 0 600 600" })
        EXPECT_FALSE(WindowPlace::parse(damaged)) << damaged;
}

TEST(WindowPlaceTest, AFrameComesBackOnAMonitorThereIsNow)
{
    const gfx::Rect left { 0, 0, 1920, 1080 };
    const gfx::Rect right { 1920, 0, 2560, 1440 };
    // Where it was, on either monitor.
    EXPECT_EQ(WindowPlace::restore({ 100, 50, 800, 900 }, { left, right }, phone), gfx::Rect(100, 50, 800, 900));
    EXPECT_EQ(WindowPlace::restore({ 2100, 200, 800, 900 }, { left, right }, phone), gfx::Rect(2100, 200, 800, 900));
    // Across both: on the one holding more of it, moved wholly onto it.
    EXPECT_EQ(WindowPlace::restore({ 1800, 100, 800, 900 }, { left, right }, phone), gfx::Rect(1920, 100, 800, 900));
    // The right monitor removed: centred on the one left.
    EXPECT_EQ(WindowPlace::restore({ 2100, 200, 800, 900 }, { left }, phone), gfx::Rect(560, 90, 800, 900));
    // A frame barely on the screen (a sliver, no title to grab) moves too.
    EXPECT_EQ(WindowPlace::restore({ 1900, 200, 800, 900 }, { left }, phone), gfx::Rect(560, 90, 800, 900));
    // A smaller screen: shrunk to it, within it.
    EXPECT_EQ(WindowPlace::restore({ 300, 100, 1400, 1200 }, { { 0, 0, 1024, 768 } }, phone),
        gfx::Rect(0, 0, 1024, 768));
    // Never below the phone's screen, unless the area is.
    EXPECT_EQ(WindowPlace::restore({ 10, 10, 100, 100 }, { left }, phone), gfx::Rect(10, 10, 320, 480));
    EXPECT_EQ(WindowPlace::restore({ 10, 10, 100, 100 }, { { 0, 0, 300, 400 } }, phone), gfx::Rect(0, 0, 300, 400));
    // A work area that starts below a panel keeps the window off it.
    EXPECT_EQ(WindowPlace::restore({ 0, 0, 800, 600 }, { { 0, 32, 1920, 1048 } }, phone), gfx::Rect(0, 32, 800, 600));
    EXPECT_FALSE(WindowPlace::restore({ 0, 0, 800, 600 }, {}, phone));
}

} // namespace

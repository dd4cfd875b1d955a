#include "platform/x11/X11HotKeys.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

TEST(HotKeyModifiers, ControlAloneMatchesWhateverTheLockKeysSayAndNothingElseDoes) {
    const int numLock = XCB_MOD_MASK_2, control = XCB_MOD_MASK_CONTROL;
    for (const int state : {control, control | XCB_MOD_MASK_LOCK, control | numLock,
                            control | XCB_KEY_BUT_MASK_BUTTON_1}) {
        EXPECT_TRUE(platform::isExactlyControl(state, numLock)) << state;
    }
    for (const int state : {0, numLock | XCB_MOD_MASK_LOCK, control | XCB_MOD_MASK_SHIFT,
                            control | XCB_MOD_MASK_1, control | XCB_MOD_MASK_4}) {
        EXPECT_FALSE(platform::isExactlyControl(state, numLock)) << state;
    }
    EXPECT_FALSE(platform::isExactlyControl(control | numLock, 0));
}

TEST(HotKeyRepeats, OnlyTheFirstPressOfAHeldKeyCounts) {
    const uint8_t key4 = 13, key5 = 14;
    platform::RepeatFilter filter;
    EXPECT_TRUE(filter.press(key5, 100));
    EXPECT_FALSE(filter.press(key5, 700));
    filter.release(key5, 740);
    EXPECT_FALSE(filter.press(key5, 740)) << "auto-repeat as a release/press pair";
    filter.release(key5, 900);
    EXPECT_TRUE(filter.press(key5, 1500));
    filter.release(key5, 1600);
    // A key whose release went elsewhere counts again once the grab ends.
    EXPECT_TRUE(filter.press(key4, 2000));
    EXPECT_TRUE(filter.press(key5, 2050));
    filter.release(key4, 2100);
    EXPECT_TRUE(filter.press(key5, 2900));
    filter.clear();
    EXPECT_TRUE(filter.press(key5, 3000)) << "clearing forgets held keys";
}

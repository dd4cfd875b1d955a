#include "platform/HotKeys.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <QCoreApplication>

namespace {

constexpr uint16_t numLock = XCB_MOD_MASK_2;
constexpr uint8_t key4 = 13;
constexpr uint8_t key5 = 14;

}  // namespace

TEST(HotKeyModifiers, ControlAloneMatchesWhateverTheLockKeysSay) {
    EXPECT_TRUE(platform::isExactlyControl(XCB_MOD_MASK_CONTROL, numLock));
    EXPECT_TRUE(platform::isExactlyControl(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK, numLock));
    EXPECT_TRUE(platform::isExactlyControl(XCB_MOD_MASK_CONTROL | numLock, numLock));
    EXPECT_TRUE(platform::isExactlyControl(
        XCB_MOD_MASK_CONTROL | uint16_t{XCB_KEY_BUT_MASK_BUTTON_1}, numLock));
}

TEST(HotKeyModifiers, AnyFurtherModifierOrNoControlMatchesNothing) {
    EXPECT_FALSE(platform::isExactlyControl(0, numLock));
    EXPECT_FALSE(platform::isExactlyControl(XCB_MOD_MASK_LOCK, numLock));
    EXPECT_FALSE(platform::isExactlyControl(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT, numLock));
    EXPECT_FALSE(platform::isExactlyControl(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, numLock));
    EXPECT_FALSE(platform::isExactlyControl(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_4, numLock));
    EXPECT_FALSE(platform::isExactlyControl(XCB_MOD_MASK_CONTROL | numLock, 0));
}

TEST(HotKeyRepeats, FirstPressCountsAndRepeatsOfEitherKindDoNot) {
    platform::RepeatFilter filter;

    EXPECT_TRUE(filter.press(key5, 100));
    EXPECT_FALSE(filter.press(key5, 700));
    filter.release(key5, 740);
    EXPECT_FALSE(filter.press(key5, 740));
    filter.release(key5, 900);
    EXPECT_TRUE(filter.press(key5, 1500));
}

TEST(HotKeyRepeats, AKeyWhoseReleaseWentElsewhereCountsAgainAfterTheGrabEnds) {
    platform::RepeatFilter filter;

    EXPECT_TRUE(filter.press(key4, 100));
    EXPECT_TRUE(filter.press(key5, 150));
    filter.release(key4, 200);

    EXPECT_TRUE(filter.press(key5, 900));
}

TEST(HotKeyRepeats, ClearingForgetsHeldKeys) {
    platform::RepeatFilter filter;
    EXPECT_TRUE(filter.press(key4, 100));

    filter.clear();

    EXPECT_TRUE(filter.press(key4, 200));
}

TEST(X11HotKeys, WithoutAnXConnectionInstallingIsHarmlessAndNothingArrives) {
    int presses = 0;
    {
        platform::X11HotKeys hotKeys;
        hotKeys.install({{4, QByteArrayLiteral("AE04")}}, [&presses](int) { ++presses; });
        hotKeys.install({{4, QByteArrayLiteral("AE04")}}, [&presses](int) { ++presses; });
        QCoreApplication::processEvents();
        hotKeys.uninstall();
        hotKeys.uninstall();
    }
    EXPECT_EQ(presses, 0);
}

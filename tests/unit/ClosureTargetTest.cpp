#include "main/VideoRecorder/ClosureTarget.h"

#include <gtest/gtest.h>
#include <QPushButton>

TEST(ClosureTarget, EveryWiredButtonGetsItsOwnIdentifier) {
    QPushButton first;
    QPushButton second;
    ClosureTarget::shared().wire(&first, [] {});
    ClosureTarget::shared().wire(&second, [] {});
    const QString firstIdentifier = first.property(ClosureTarget::identifierProperty).toString();
    const QString secondIdentifier = second.property(ClosureTarget::identifierProperty).toString();
    EXPECT_EQ(firstIdentifier.size(), 36);
    EXPECT_NE(firstIdentifier, secondIdentifier);
}

TEST(ClosureTarget, ButtonWithoutIdentifierDoesNothing) {
    QPushButton button;
    int runs = 0;
    ClosureTarget::shared().wire(&button, [&runs] { ++runs; });
    button.setProperty(ClosureTarget::identifierProperty, QVariant());
    button.click();
    EXPECT_EQ(runs, 0);
}

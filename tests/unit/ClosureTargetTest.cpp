#include "main/VideoRecorder/ClosureTarget.h"

#include <gtest/gtest.h>
#include <QPushButton>

TEST(ClosureTarget, EachButtonRunsOnlyItsOwnClosureOnceAndOnlyWithItsIdentifier) {
    QPushButton first, second, unmarked;
    int firstRuns = 0, secondRuns = 0, unmarkedRuns = 0;
    ClosureTarget::shared().wire(&first, [&] { ++firstRuns; });
    ClosureTarget::shared().wire(&second, [&] { ++secondRuns; });
    ClosureTarget::shared().wire(&unmarked, [&] { ++unmarkedRuns; });
    unmarked.setProperty(ClosureTarget::identifierProperty, QVariant());
    second.click();
    second.click();
    EXPECT_EQ(std::make_tuple(firstRuns, secondRuns), std::make_tuple(0, 1));
    first.click();
    unmarked.click();
    EXPECT_EQ(std::make_tuple(firstRuns, secondRuns, unmarkedRuns), std::make_tuple(1, 1, 0));
}

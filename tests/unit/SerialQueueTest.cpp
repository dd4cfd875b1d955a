#include "platform/SerialQueue.h"

#include <gtest/gtest.h>
#include <vector>

TEST(SerialQueue, RunsTasksInOrderOnOneOtherThreadAndDrainsOnDestruction) {
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    {
        platform::SerialQueue queue("Quorvastelin.VideoRecorder");
        for (int i = 0; i < 200; ++i) {
            queue.async([&, i] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
                EXPECT_TRUE(queue.isCurrent());
            });
        }
    }
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(order[i], i);
        EXPECT_EQ(threads[i], threads[0]);
    }
    EXPECT_NE(threads[0], std::this_thread::get_id());
}

#include "platform/x11/X11ScreenStream.h"
#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QTest>
#include <atomic>
#include <future>
#include <thread>

using platform::StreamFrame;

namespace {

// Starts or stops the stream and waits for the answer.
std::optional<Error> answer(platform::ScreenStream& stream, bool starting) {
    std::promise<std::optional<Error>> outcome;
    const auto done = [&outcome](std::optional<Error> failure) { outcome.set_value(failure); };
    starting ? stream.start(done) : stream.stop(done);
    return outcome.get_future().get();
}

Result<std::unique_ptr<platform::ScreenStream>> openStream(
    platform::SerialQueue& queue, QRect source, QSize output,
    platform::ScreenStream::FrameHandler handler = [](StreamFrame) {}) {
    return platform::openX11ScreenStream(platform::StreamConfiguration{source, output}, queue,
                                         std::move(handler));
}

}  // namespace

// Empty or off-screen regions are refused, a stream starts and stops once, and a slow consumer
// never has more than the queue's depth waiting: after the stop only what already waited comes.
TEST(ScreenStream, RefusesEmptyOrOffScreenRegionsAndBoundsWhatASlowConsumerHasWaiting) {
    std::atomic<int> handled{0};
    platform::SerialQueue queue("ScreenStreamTest");
    EXPECT_FALSE(openStream(queue, QRect(0, 0, 0, 10), QSize(2, 2)).ok());
    EXPECT_FALSE(openStream(queue, QRect(0, 0, 10, 10), QSize(0, 0)).ok());
    auto outside = openStream(queue, QRect(3000, 1000, 400, 400), QSize(400, 400));
    EXPECT_TRUE(!outside.ok() || answer(*outside.value(), true).has_value()) << "off the screen";

    auto stream = openStream(queue, QRect(0, 0, 64, 64), QSize(64, 64), [&handled](StreamFrame) {
                      std::this_thread::sleep_for(std::chrono::milliseconds(100));
                      ++handled;
                  }).value();
    ASSERT_FALSE(answer(*stream, true).has_value());
    EXPECT_TRUE(answer(*stream, true).has_value()) << "already started";
    QTest::qWait(800);
    ASSERT_FALSE(answer(*stream, false).has_value());
    const int handledAtStop = handled;
    EXPECT_FALSE(answer(*stream, false).has_value()) << "a second stop completes too";
    EXPECT_TRUE(answer(*stream, true).has_value()) << "stopped streams stay stopped";
    ASSERT_TRUE(e2e::waitUntil([&] {
        const int before = handled;
        QTest::qWait(300);
        return handled == before;
    }));
    EXPECT_LE(handled - handledAtStop, 5);
}

#include "platform/x11/X11ScreenStream.h"
#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using platform::FrameStatus;
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

bool hasStatus(const std::vector<StreamFrame>& frames, size_t from, FrameStatus status) {
    return std::any_of(frames.begin() + static_cast<long>(from), frames.end(),
                       [status](const StreamFrame& frame) { return frame.status == status; });
}

}  // namespace

// A region scaled to a smaller output, as for an odd-sized one, over the position pattern.
TEST(ScreenStream, DeliversFramesOfTheOutputSizeIdleOnesOnAStillScreenAndPointerMoves) {
    e2e::showOnRoot(e2e::positionPattern());
    e2e::xdotool({"mousemove", "5", "5"});
    std::mutex mutex;
    std::vector<StreamFrame> frames;
    const auto received = [&] {
        std::lock_guard lock(mutex);
        return frames;
    };
    size_t stillFrames = 0;
    {
        platform::SerialQueue queue("ScreenStreamTest");
        auto stream =
            openStream(queue, QRect(300, 400, 201, 101), QSize(200, 100), [&](StreamFrame frame) {
                std::lock_guard lock(mutex);
                frames.push_back(std::move(frame));
            }).value();
        EXPECT_FALSE(answer(*stream, true).has_value());
        EXPECT_TRUE(answer(*stream, true).has_value()) << "already started";
        // Once the root's new picture has settled, a still screen gives idle frames only.
        ASSERT_TRUE(e2e::waitUntil([&] {
            const auto seen = received();
            return seen.size() > 5 && !hasStatus(seen, seen.size() - 5, FrameStatus::complete);
        }));
        stillFrames = received().size();
        // Damage does not report the pointer; its movement inside the region is a change.
        e2e::xdotool({"mousemove", "380", "450"});
        ASSERT_TRUE(e2e::waitUntil([&] {
            return hasStatus(received(), stillFrames, FrameStatus::complete);
        })) << "the pointer's movement";
        EXPECT_FALSE(answer(*stream, false).has_value());
        EXPECT_FALSE(answer(*stream, false).has_value()) << "a second stop completes too";
        EXPECT_TRUE(answer(*stream, true).has_value()) << "stopped streams stay stopped";
    }
    ASSERT_EQ(frames.front().status, FrameStatus::complete);
    // The last picture before the still run shows the settled screen.
    const auto settled = std::find_if(
        std::make_reverse_iterator(frames.begin() + static_cast<long>(stillFrames)), frames.rend(),
        [](const StreamFrame& frame) { return frame.status == FrameStatus::complete; });
    ASSERT_NE(settled, frames.rend());
    EXPECT_EQ(settled->pixels.size(), QSize(200, 100));
    EXPECT_EQ(settled->pixels.format(), QImage::Format_RGB32);
    EXPECT_EQ(settled->pixels.pixelColor(0, 0).alpha(), 255);
    EXPECT_NEAR(settled->pixels.pixelColor(0, 0).red(), qRed(e2e::positionColour(300, 400)), 8);
    for (size_t index = 1; index < frames.size(); ++index) {
        EXPECT_EQ(frames[index].pixels.isNull(), frames[index].status == FrameStatus::idle);
        EXPECT_GT(frames[index].presentationTime, frames[index - 1].presentationTime);
    }
    // Thirty a second at most, as the frames' own time stamps tell.
    const double seconds = std::chrono::duration<double>(frames.back().presentationTime -
                                                         frames.front().presentationTime)
                               .count();
    EXPECT_LE(double(frames.size() - 1), seconds * 30 * 1.1 + 1);
}

// Empty or off-screen regions are refused, and a slow consumer never has more than the queue's
// depth waiting: nothing is delivered after the stop but what was already waiting.
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
    QTest::qWait(800);
    ASSERT_FALSE(answer(*stream, false).has_value());
    const int handledAtStop = handled;
    ASSERT_TRUE(e2e::waitUntil([&] {
        const int before = handled;
        QTest::qWait(300);
        return handled == before;
    }));
    EXPECT_LE(handled - handledAtStop, 5);
}

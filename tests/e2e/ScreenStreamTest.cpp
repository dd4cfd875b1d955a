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

using namespace std::chrono_literals;
using platform::FrameStatus;
using platform::StreamFrame;

namespace {

// Frames as the queue saw them; written on the queue, read after it has drained.
struct Received {
    std::mutex mutex;
    std::vector<StreamFrame> frames;
};

// Starts or stops the stream and waits for the answer.
std::optional<Error> answer(platform::ScreenStream& stream, bool starting) {
    std::promise<std::optional<Error>> outcome;
    const auto done = [&outcome](std::optional<Error> failure) { outcome.set_value(failure); };
    starting ? stream.start(done) : stream.stop(done);
    return outcome.get_future().get();
}
std::optional<Error> startAndWait(platform::ScreenStream& stream) {
    return answer(stream, true);
}
std::optional<Error> stopAndWait(platform::ScreenStream& stream) {
    return answer(stream, false);
}

}  // namespace

TEST(ScreenStream, DeliversFramesOfTheOutputSizeIdleOnesOnAStillScreenAndPointerMoves) {
    e2e::showOnRoot(e2e::positionPattern());
    e2e::runTool("xdotool", {"mousemove", "5", "5"});
    auto received = std::make_shared<Received>();
    const auto count = [&received] {
        std::lock_guard lock(received->mutex);
        return received->frames.size();
    };
    size_t stillFrames = 0;
    {
        platform::SerialQueue queue("ScreenStreamTest");
        // The source is scaled to a smaller output, as for an odd-sized region.
        auto opened = platform::openX11ScreenStream(
            platform::StreamConfiguration{QRect(300, 400, 201, 101), QSize(200, 100)}, queue,
            [received](StreamFrame frame) {
                std::lock_guard lock(received->mutex);
                received->frames.push_back(std::move(frame));
            });
        ASSERT_TRUE(opened.ok());
        auto stream = std::move(opened).value();
        EXPECT_FALSE(startAndWait(*stream).has_value());
        // Once the root's new picture has settled, a still screen gives idle frames only.
        ASSERT_TRUE(e2e::waitUntil([&] {
            std::lock_guard lock(received->mutex);
            const auto& frames = received->frames;
            return frames.size() > 5 &&
                   std::all_of(frames.end() - 5, frames.end(), [](const StreamFrame& frame) {
                       return frame.status == FrameStatus::idle;
                   });
        }));
        stillFrames = count();
        // Damage does not report the pointer; its movement inside the region is a change.
        e2e::runTool("xdotool", {"mousemove", "380", "450"});
        ASSERT_TRUE(e2e::waitUntil([&] {
            std::lock_guard lock(received->mutex);
            return std::any_of(
                received->frames.begin() + static_cast<long>(stillFrames), received->frames.end(),
                [](const StreamFrame& frame) { return frame.status == FrameStatus::complete; });
        })) << "the pointer's movement";
        EXPECT_FALSE(stopAndWait(*stream).has_value());
        EXPECT_FALSE(stopAndWait(*stream).has_value()) << "a second stop completes too";
    }
    std::lock_guard lock(received->mutex);
    const auto& frames = received->frames;
    ASSERT_EQ(frames.front().status, FrameStatus::complete);
    // The last picture before the still run shows the settled screen.
    const auto settled = std::find_if(
        std::make_reverse_iterator(frames.begin() + static_cast<long>(stillFrames)), frames.rend(),
        [](const StreamFrame& frame) { return frame.status == FrameStatus::complete; });
    ASSERT_NE(settled, frames.rend());
    EXPECT_EQ(settled->pixels.size(), QSize(200, 100));
    EXPECT_EQ(settled->pixels.format(), QImage::Format_RGB32);
    const QColor corner = settled->pixels.pixelColor(0, 0);
    EXPECT_EQ(corner.alpha(), 255);
    EXPECT_NEAR(corner.red(), qRed(e2e::positionColour(300, 400)), 8);
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

TEST(ScreenStream, SlowConsumerNeverHasMoreThanTheQueueDepthWaiting) {
    std::atomic<int> handled{0};
    platform::SerialQueue queue("ScreenStreamTest");
    auto opened = platform::openX11ScreenStream(
        platform::StreamConfiguration{QRect(0, 0, 64, 64), QSize(64, 64)}, queue,
        [&handled](StreamFrame) {
            std::this_thread::sleep_for(100ms);
            ++handled;
        });
    ASSERT_TRUE(opened.ok());
    auto stream = std::move(opened).value();
    ASSERT_FALSE(startAndWait(*stream).has_value());
    QTest::qWait(800);
    ASSERT_FALSE(stopAndWait(*stream).has_value());
    const int handledAtStop = handled;
    // Nothing is delivered after the stop; what is still waiting drains from the queue.
    ASSERT_TRUE(e2e::waitUntil([&] {
        const int before = handled;
        QTest::qWait(300);
        return handled == before;
    }));
    EXPECT_LE(handled - handledAtStop, 5);
}

TEST(ScreenStream, RefusesEmptyOrOffScreenRegionsAndAnswersRepeatedStartsAndStopsOnce) {
    platform::SerialQueue queue("ScreenStreamTest");
    const auto open = [&queue](QRect source, QSize output) {
        return platform::openX11ScreenStream(platform::StreamConfiguration{source, output}, queue,
                                             [](StreamFrame) {});
    };
    EXPECT_FALSE(open(QRect(0, 0, 0, 10), QSize(2, 2)).ok());
    EXPECT_FALSE(open(QRect(0, 0, 10, 10), QSize(0, 0)).ok());
    auto outside = open(QRect(3000, 1000, 400, 400), QSize(400, 400));
    EXPECT_TRUE(!outside.ok() || startAndWait(*outside.value()).has_value()) << "off the screen";

    auto stream = open(QRect(0, 0, 64, 64), QSize(64, 64)).value();
    ASSERT_FALSE(startAndWait(*stream).has_value());
    EXPECT_TRUE(startAndWait(*stream).has_value()) << "already started";
    EXPECT_FALSE(stopAndWait(*stream).has_value());
    auto unstarted = open(QRect(0, 0, 64, 64), QSize(64, 64)).value();
    EXPECT_FALSE(stopAndWait(*unstarted).has_value());
    EXPECT_TRUE(startAndWait(*unstarted).has_value()) << "stopped streams stay stopped";
}

#include "main/VideoRecorder/ScreenVideoRecorder.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "tests/support/FakeScreenStream.h"
#include "tests/support/MovieProbe.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using platform::FrameStatus;
using platform::StreamFrame;

namespace {

StreamFrame complete(std::chrono::nanoseconds time, QSize size = QSize(160, 120)) {
    QImage pixels(size, QImage::Format_RGB32);
    pixels.fill(Qt::red);
    return StreamFrame{FrameStatus::complete, time, pixels};
}

StreamFrame idle(std::chrono::nanoseconds time) {
    return StreamFrame{FrameStatus::idle, time, {}};
}

class ScreenVideoRecorderTest : public testing::Test {
  protected:
    RecorderPlatform fakeScreen() {
        RecorderPlatform seams;
        seams.makeScreenStream = fakeScreenStreams(control);
        seams.makeMovieWriter = platform::openQuickTimeMovieWriter;
        return seams;
    }

    std::shared_ptr<ScreenVideoRecorder> startRecorder(const RecorderPlatform& seams) {
        auto created = ScreenVideoRecorder::create(
            platform::StreamConfiguration{QRect(0, 0, 160, 120), QSize(160, 120)}, moviePath,
            seams);
        if (!created.ok()) {
            ADD_FAILURE() << created.error().description.toStdString();
            return nullptr;
        }
        auto recorder = created.value();
        recorder->start([this](Result<QString> result) { results.push_back(std::move(result)); },
                        [this](std::optional<Error> failure) { started = !failure; });
        EXPECT_TRUE(QTest::qWaitFor([this] { return started; }));
        return recorder;
    }

    // Stops, waits for the first report, then lets any further ones arrive before counting.
    void stopAndWaitForReport(ScreenVideoRecorder& recorder) {
        recorder.stop();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !results.empty(); }, 20000));
        QTest::qWait(100);
        ASSERT_EQ(results.size(), 1u);
    }

    QTemporaryDir folder;
    const QString moviePath = folder.filePath("Recording.mov");
    std::shared_ptr<FakeStreamControl> control = std::make_shared<FakeStreamControl>();
    std::vector<Result<QString>> results;
    bool started = false;
};

}  // namespace

// The last frame holds until the stop: two seconds after the first, or hours later on a
// screen left still, longer than the movie's finest time units can count in one frame.
TEST_F(ScreenVideoRecorderTest, MovieRunsFromFirstCompleteFrameToStopSkipsIdleOnesReportsOnce) {
    for (const auto& [stopAt, duration] :
         {std::pair{std::chrono::nanoseconds(9s), 2.0}, {7s + 7h, 7 * 3600.0}}) {
        control = std::make_shared<FakeStreamControl>();
        results.clear();
        started = false;
        RecorderPlatform seams = fakeScreen();
        seams.clock = [stopAt = stopAt] { return stopAt; };
        auto recorder = startRecorder(seams);
        for (const auto& frame : {idle(4s), complete(7s), idle(7s + 100ms), idle(7s + 200ms),
                                  complete(7s + 500ms), idle(7s + 900ms)}) {
            control->deliver(frame);
        }
        recorder->stop();
        stopAndWaitForReport(*recorder);  // the second stop
        EXPECT_EQ(control->stops, 1);
        ASSERT_TRUE(results[0].ok()) << results[0].error().description.toStdString();
        EXPECT_EQ(results[0].value(), moviePath);
        const auto movie = movieprobe::probe(moviePath);
        ASSERT_TRUE(movie.has_value());
        EXPECT_EQ(QSize(movie->width, movie->height), QSize(160, 120));
        ASSERT_EQ(movie->frameTimes.size(), 2u);
        EXPECT_DOUBLE_EQ(movie->frameTimes[0], 0.0);
        EXPECT_NEAR(movie->frameTimes[1], 0.5, 0.001);
        EXPECT_NEAR(movie->duration, duration, 0.01);
    }
}

TEST_F(ScreenVideoRecorderTest, ReportAfterTheOwnerLetGoIsDropped) {
    auto recorder = startRecorder(fakeScreen());
    control->deliver(complete(1s));
    recorder->stop();
    recorder.reset();
    QTest::qWait(300);
    EXPECT_TRUE(results.empty());
}

TEST_F(ScreenVideoRecorderTest, StreamEndingByItselfEndsTheMovieThereAndKeepsIt) {
    auto recorder = startRecorder(fakeScreen());
    for (const auto& frame :
         {complete(1s), StreamFrame{FrameStatus::stopped, 3s, {}}, complete(4s)}) {
        control->deliver(frame);
    }
    ASSERT_TRUE(QTest::qWaitFor([this] { return !results.empty(); }, 20000));
    ASSERT_TRUE(results[0].ok());
    EXPECT_EQ(control->stops, 1);
    const auto movie = movieprobe::probe(moviePath);
    ASSERT_TRUE(movie.has_value());
    EXPECT_EQ(movie->frameTimes.size(), 1u);
    EXPECT_NEAR(movie->duration, 2.0, 0.01);
}

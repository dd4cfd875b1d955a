#include "main/VideoRecorder/ScreenVideoRecorder.h"
#include "tests/support/FakeScreenStream.h"
#include "tests/support/MovieProbe.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using platform::FrameStatus;
using platform::StreamFrame;

namespace {

// A writer whose start always fails, for the one case the real writer cannot be made to show.
class UnstartableWriter : public platform::MovieWriter {
  public:
    explicit UnstartableWriter(int& starts) : starts(starts) {}
    bool addVideoTrack(const platform::MovieSettings&) override { return true; }
    bool startWriting() override {
        ++starts;
        return false;
    }
    void startSession(std::chrono::nanoseconds) override {}
    bool isReadyForMoreMediaData() const override { return false; }
    bool append(const QImage&, std::chrono::nanoseconds) override { return false; }
    void finishWriting(FinishHandler done) override { done(Status::failed, std::nullopt); }
    void cancelWriting() override {}
    Status status() const override { return Status::failed; }
    std::optional<Error> error() const override { return std::nullopt; }

  private:
    int& starts;
};

constexpr QSize frameSize(160, 120);

StreamFrame complete(std::chrono::nanoseconds time, QColor colour, QSize size = frameSize) {
    QImage pixels(size, QImage::Format_RGB32);
    pixels.fill(colour);
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
        return seams;
    }

    std::shared_ptr<ScreenVideoRecorder> startRecorder(const RecorderPlatform& seams) {
        auto created = ScreenVideoRecorder::create(configuration(), moviePath, seams);
        if (!created.ok()) {
            ADD_FAILURE() << created.error().description.toStdString();
            return nullptr;
        }
        auto recorder = created.value();
        bool started = false;
        recorder->start([this](Result<QString> result) { results.push_back(std::move(result)); },
                        [&started](std::optional<Error> failure) { started = !failure; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return started; }));
        return recorder;
    }

    static platform::StreamConfiguration configuration(QSize size = frameSize) {
        return platform::StreamConfiguration{QRect(QPoint(0, 0), size), size};
    }

    // Waits for the first report, then lets any further ones arrive before they are counted.
    void waitForReport() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !results.empty(); }, 20000));
        QTest::qWait(100);
    }

    QTemporaryDir folder;
    const QString moviePath = folder.filePath("Recording.mov");
    std::shared_ptr<FakeStreamControl> control = std::make_shared<FakeStreamControl>();
    std::vector<Result<QString>> results;
};

}  // namespace

TEST_F(ScreenVideoRecorderTest, MovieStartsAtFirstCompleteFrameAndSkipsIdleOnes) {
    auto recorder = startRecorder(fakeScreen());
    control->deliver(idle(4s));
    control->deliver(complete(7s, Qt::red));
    control->deliver(idle(7s + 100ms));
    control->deliver(idle(7s + 200ms));
    control->deliver(complete(7s + 500ms, Qt::blue));
    control->deliver(idle(7s + 900ms));
    recorder->stop();
    waitForReport();

    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].ok());
    EXPECT_EQ(results[0].value(), moviePath);
    const auto movie = movieprobe::probe(moviePath);
    ASSERT_TRUE(movie.has_value());
    EXPECT_EQ(movie->width, frameSize.width());
    EXPECT_EQ(movie->height, frameSize.height());
    ASSERT_EQ(movie->frameTimes.size(), 2u);
    EXPECT_DOUBLE_EQ(movie->frameTimes[0], 0.0);
    EXPECT_NEAR(movie->frameTimes[1], 0.5, 0.001);
    // The movie ends with its last written frame, not at the later idle frame or the stop.
    EXPECT_NEAR(movie->duration, 0.5 + 1.0 / 30, 0.01);
}

TEST_F(ScreenVideoRecorderTest, StoppingTwiceReportsOnceAndStopsTheStreamOnce) {
    auto recorder = startRecorder(fakeScreen());
    control->deliver(complete(1s, Qt::green));
    recorder->stop();
    recorder->stop();
    waitForReport();
    EXPECT_EQ(results.size(), 1u);
    EXPECT_EQ(control->stops, 1);
    EXPECT_TRUE(results[0].ok());
}

TEST_F(ScreenVideoRecorderTest, StopBeforeAnyFrameFailsWithNoFramesAndLeavesNoFile) {
    auto recorder = startRecorder(fakeScreen());
    control->deliver(idle(1s));
    recorder->stop();
    waitForReport();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_FALSE(results[0].ok());
    EXPECT_EQ(results[0].error().domain, "Quorvastelin");
    EXPECT_EQ(results[0].error().code, 22);
    EXPECT_EQ(results[0].error().description, "Video chưa có khung hình");
    EXPECT_FALSE(QFile::exists(moviePath));
}

TEST_F(ScreenVideoRecorderTest, RefusedAppendEndsInFrameErrorAndNoFile) {
    auto recorder = startRecorder(fakeScreen());
    control->deliver(complete(1s, Qt::green));
    control->deliver(complete(1s + 33ms, Qt::green, QSize(100, 100)));
    control->deliver(complete(1s + 66ms, Qt::green));
    recorder->stop();
    waitForReport();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_FALSE(results[0].ok());
    EXPECT_EQ(results[0].error().domain, "Quorvastelin.VideoRecorder");
    EXPECT_EQ(results[0].error().code, 24);
    EXPECT_EQ(results[0].error().description, "Không thể ghi khung hình video");
    EXPECT_FALSE(QFile::exists(moviePath));
}

TEST_F(ScreenVideoRecorderTest, WriterThatFailsToStartReportsOnceAndIsNeverRetried) {
    int writerStarts = 0;
    RecorderPlatform seams = fakeScreen();
    seams.makeMovieWriter =
        [&writerStarts](const QString&) -> Result<std::unique_ptr<platform::MovieWriter>> {
        return std::unique_ptr<platform::MovieWriter>(
            std::make_unique<UnstartableWriter>(writerStarts));
    };
    auto recorder = startRecorder(seams);
    control->deliver(complete(1s, Qt::red));
    control->deliver(complete(2s, Qt::red));
    control->deliver(complete(3s, Qt::red));
    recorder->stop();
    waitForReport();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].error().code, 23);
    EXPECT_EQ(results[0].error().description,
              "Không thể hoàn tất thao tác. (Quorvastelin lỗi 23.)");
    EXPECT_EQ(writerStarts, 1);
}

TEST_F(ScreenVideoRecorderTest, StreamThatCannotStopReportsItsError) {
    control->stopFailure = Error::platform("stream would not stop");
    auto recorder = startRecorder(fakeScreen());
    control->deliver(complete(1s, Qt::red));
    recorder->stop();
    waitForReport();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].error().description, "stream would not stop");
}

TEST_F(ScreenVideoRecorderTest, StartFailureGoesToTheStartHandlerOnly) {
    control->startFailure = Error::platform("no screen");
    auto created = ScreenVideoRecorder::create(configuration(), moviePath, fakeScreen());
    ASSERT_TRUE(created.ok());
    std::optional<Error> startError;
    created.value()->start([this](Result<QString> result) { results.push_back(result); },
                           [&startError](std::optional<Error> failure) { startError = failure; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return startError.has_value(); }));
    EXPECT_EQ(startError->description, "no screen");
    QTest::qWait(100);
    EXPECT_TRUE(results.empty());
}

TEST_F(ScreenVideoRecorderTest, CreationFailuresCarryTheirOwnErrors) {
    auto odd = ScreenVideoRecorder::create(configuration(QSize(201, 100)), moviePath, fakeScreen());
    ASSERT_FALSE(odd.ok());
    EXPECT_EQ(odd.error().code, 20);
    EXPECT_EQ(odd.error().description, "Không thể tạo bộ mã hóa video");
    EXPECT_FALSE(QFile::exists(moviePath));

    auto unwritable =
        ScreenVideoRecorder::create(configuration(), folder.filePath("gone/x.mov"), fakeScreen());
    ASSERT_FALSE(unwritable.ok());
    EXPECT_EQ(unwritable.error().domain, "Platform");

    RecorderPlatform noStream = fakeScreen();
    noStream.makeScreenStream = [](const platform::StreamConfiguration&, platform::SerialQueue&,
                                   platform::ScreenStream::FrameHandler)
        -> Result<std::unique_ptr<platform::ScreenStream>> { return Error::platform("no stream"); };
    auto streamless = ScreenVideoRecorder::create(configuration(), moviePath, noStream);
    ASSERT_FALSE(streamless.ok());
    EXPECT_EQ(streamless.error().description, "no stream");
}

TEST_F(ScreenVideoRecorderTest, ReportAfterTheOwnerLetGoIsDropped) {
    auto recorder = startRecorder(fakeScreen());
    control->deliver(complete(1s, Qt::red));
    recorder->stop();
    recorder.reset();
    QTest::qWait(300);
    EXPECT_TRUE(results.empty());
}

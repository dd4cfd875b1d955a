#include "main/CaptureService/CaptureService.h"
#include "tests/support/FakeScreenStream.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

TEST(VideoFlow, TogglingWhileFinishingOnlyRepeatsTheStatusAndAFramelessStopFails) {
    const QString recordings = CaptureService::rootFolder() + "/Recordings";
    QDir(recordings).removeRecursively();
    QTemporaryDir folder;
    const auto database = std::make_shared<HistoryDatabase>(folder.path());
    const auto control = std::make_shared<FakeStreamControl>();
    CapturePlatform seams = fakeDesk();
    seams.makeScreenStream = fakeScreenStreams(control);
    seams.now = [] { return QDateTime(QDate(2024, 3, 7), QTime(9, 5, 2)); };
    auto running = std::make_unique<CaptureService>(database, seams);
    CaptureService& service = *running;
    QStringList statuses;
    int finished = 0;
    service.onStatus = [&](const QString& text) { statuses << text; };
    service.onVideoFinished = [&] { ++finished; };
    // Selects a 300 × 150 point region of the scale-2 laptop screen.
    const auto startRecording = [&] {
        service.startVideo();
        dragInQt(shownWindow(), QPointF(100, 632), QPointF(400, 782));
        return QTest::qWaitFor([&] { return service.isRecording() && shownWindow("Đang quay"); },
                               5000);
    };
    // Waits for the end, then lets anything that might wrongly follow arrive before counting.
    const auto waitForEnd = [&] {
        const bool ended = QTest::qWaitFor([&] { return finished > 0; }, 20000);
        QTest::qWait(100);
        return ended && std::exchange(finished, 0) == 1;
    };

    control->holdStop = true;
    ASSERT_TRUE(startRecording());
    QImage pixels(600, 300, QImage::Format_RGB32);
    pixels.fill(Qt::darkCyan);
    // Stamped on the clock the stop is stamped on, as the screen's frames are.
    control->deliver({platform::FrameStatus::complete, platform::monotonicNow(), pixels});
    service.startVideo();
    service.startVideo();
    service.stopVideo();
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->stops > 0; }));
    QTest::qWait(100);
    EXPECT_EQ(statuses.count("Đang hoàn tất video…"), 3);
    EXPECT_EQ(control->stops, 1);
    EXPECT_EQ(shownWindow(), nullptr) << "no new selection while finishing";
    control->releaseStop();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(statuses.last(), "Đã lưu: Recording_2024-03-07_09-05-02.mov");

    QFile::remove(recordings + "/Recording_2024-03-07_09-05-02.mov");
    control->holdStop = false;
    ASSERT_TRUE(startRecording());
    service.startVideo();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(statuses.last(), "Quay màn hình thất bại: Video chưa có khung hình");
    EXPECT_EQ(database->recent().size(), 1u);
    EXPECT_TRUE(QDir(recordings).isEmpty());

    // Ended mid-recording, as a second request to quit ends it: the movie and its note stay,
    // and the next start completes and lists it.
    ASSERT_TRUE(startRecording());
    const QString movie = recordings + "/Recording_2024-03-07_09-05-02.mov";
    // The file grows once for its header and each frame: a second growth is a frame for sure.
    for (qint64 size = 0; const int frame : {1, 2}) {
        control->deliver({platform::FrameStatus::complete, platform::monotonicNow(), pixels});
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(movie).size() > size; })) << frame;
        size = QFileInfo(movie).size();
    }
    running.reset();
    CaptureService restarted(database, seams);
    restarted.onStatus = [&](const QString& text) { statuses << text; };
    restarted.recoverUnfinishedRecordings();
    EXPECT_EQ(statuses.last(), "Đã khôi phục bản quay: Recording_2024-03-07_09-05-02.mov");
    EXPECT_EQ(database->recent().front().path, movie);
}

#include "tests/support/E2eSupport.h"
#include "tests/support/HistoryFile.h"
#include "tests/support/MovieProbe.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <array>

namespace {

// Inside monitor A, over the position pattern. Its width is no multiple of FFmpeg's SIMD
// blocks, which once made the thumbnail overrun memory.
const QRect region(200, 300, 600, 300);
// Over the pattern, away from the flasher.
const QPoint pointerSpot(600, 500);

// A window inside the region changing colour ten times a second, or covering it with fresh
// noise, which no encoder can make small.
class Flasher : public QWidget {
  public:
    explicit Flasher(bool noisy = false)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint), noisy(noisy) {
        setGeometry(noisy ? region : QRect(region.topLeft() + QPoint(40, 40), QSize(160, 120)));
        startTimer(100);
        show();
    }

  protected:
    void timerEvent(QTimerEvent*) override {
        hue += 90;
        update();
    }
    void paintEvent(QPaintEvent*) override {
        if (!noisy) {
            QPainter(this).fillRect(rect(), QColor::fromHsv(hue % 360, 255, 255));
            return;
        }
        QImage noise(size(), QImage::Format_RGB32);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(noise.bits()),
                                              noise.sizeInBytes() / 4);
        QPainter(this).drawImage(0, 0, noise);
    }

  private:
    const bool noisy;
    int hue = 0;
};

// A file system of a few megabytes mounted over a folder, as a full disk is met. Mounting needs
// root; where it cannot, mounted is false.
struct SmallDisk {
    SmallDisk(const QString& folder, int megabytes)
        : folder(folder),
          mounted(QDir().mkpath(folder) &&
                  e2e::runTool("mount", {"-t", "tmpfs", "-o", QString("size=%1m").arg(megabytes),
                                         "tmpfs", folder})
                          .exitCode == 0) {}
    ~SmallDisk() {
        if (mounted) {
            e2e::runTool("umount", {"--lazy", folder});
        }
    }
    // Takes all but this much of the free space with a file of its own; empty() gives it back.
    bool fillLeaving(qint64 bytes) const {
        const qint64 taken = QStorageInfo(folder).bytesAvailable() - bytes;
        return taken > 0 &&
               e2e::runTool("fallocate", {"-l", QString::number(taken), folder + "/.filler"})
                       .exitCode == 0;
    }
    void empty() const { QFile::remove(folder + "/.filler"); }

    const QString folder;
    const bool mounted;
};

// Keycodes of Xvfb's evdev keymap; after the mapping, Super is pressed by its keycode.
constexpr int leftControl = 37;
constexpr int leftSuper = 133;
constexpr int key5 = 14;

bool recordingWindowShown() {
    return e2e::xdotool({"search", "--onlyvisible", "--name", "^Đang quay$"});
}

bool selectTheRegion(const e2e::Program& program) {
    return e2e::pressUntilOverlay(program, [] { e2e::holdChord(leftControl, key5); }) &&
           e2e::drag(region.topLeft(), region.bottomRight() + QPoint(1, 1));
}

// h264 of the region's size, about three seconds of many frames, showing the pattern and the
// pointer drawn in at its spot.
void expectRegionMovie(const QString& path) {
    const auto movie = movieprobe::probe(path);
    ASSERT_TRUE(movie.has_value());
    EXPECT_EQ(movie->codec, "h264");
    EXPECT_EQ(QSize(movie->width, movie->height), region.size());
    EXPECT_GT(movie->duration, 2.0);
    EXPECT_LT(movie->duration, 4.0);
    EXPECT_GT(movie->frameTimes.size(), 15u);
    const QImage frame = movieprobe::frameAt(path, movie->frameTimes[movie->frameTimes.size() / 2]);
    ASSERT_FALSE(frame.isNull());
    const auto gapFromPattern = [&](QPoint at) {
        return e2e::channelGap(frame.pixelColor(at - region.topLeft()),
                               e2e::positionColour(at.x(), at.y()));
    };
    int compared = 0;
    int gapSum = 0;
    int covered = 0;
    for (int y = region.top() + 180; y < region.bottom(); ++y) {
        for (int x = region.left() + 250; x < region.right(); ++x) {
            const QPoint offset = QPoint(x, y) - pointerSpot;
            covered += std::max(std::abs(offset.x()), std::abs(offset.y())) <= 6 &&
                       gapFromPattern({x, y}) > 80;
            if (offset.manhattanLength() >= 40) {
                gapSum += gapFromPattern({x, y});
                ++compared;
            }
        }
    }
    EXPECT_LT(gapSum / compared, 16) << "average channel gap from the pattern";
    EXPECT_GT(covered, 15) << "pixels of the pointer near its hot spot";
}

// The frame's lower-left corner 240 left of the primary monitor's right edge and 90 below its
// top, and the window on every workspace.
void expectRecordingWindowPlacedByItsFrameOnEveryWorkspace() {
    const QString window = QString::fromUtf8(
        e2e::runTool("xdotool", {"search", "--onlyvisible", "--name", "^Đang quay$"})
            .output.trimmed());
    // Extents left and bottom, then the content's absolute left, top and height.
    const QRegularExpression numbers(
        R"(= (\d+), \d+, \d+, (\d+).*?X:\s+(-?\d+).*?Y:\s+(-?\d+).*?Height: (\d+))",
        QRegularExpression::DotMatchesEverythingOption);
    const QPoint wanted(e2e::monitorA.x + e2e::monitorA.width - 240, e2e::monitorA.y + 90);
    QPoint corner;
    EXPECT_TRUE(e2e::waitUntil([&] {
        const QRegularExpressionMatch found = numbers.match(
            QString::fromUtf8(e2e::runTool("xprop", {"-id", window, "_NET_FRAME_EXTENTS"}).output +
                              e2e::runTool("xwininfo", {"-id", window}).output));
        corner = QPoint(
            found.captured(3).toInt() - found.captured(1).toInt(),
            found.captured(4).toInt() + found.captured(5).toInt() + found.captured(2).toInt());
        return corner == wanted;
    })) << corner.x()
        << ',' << corner.y();
    ASSERT_TRUE(e2e::xdotool({"set_desktop", "2"}));
    EXPECT_TRUE(e2e::waitUntil(
        [] { return e2e::runTool("xdotool", {"get_desktop"}).output.trimmed() == "2"; }));
    EXPECT_TRUE(e2e::runTool("xwininfo", {"-id", window}).output.contains("IsViewable"));
    e2e::xdotool({"set_desktop", "0"});
}

// Whole pictures, and playable movies each listed in an intact history of existing files.
void expectOnlyWholeListedCaptures(const e2e::Program& program) {
    const auto history = historyFile::read(program.historyPath());
    EXPECT_EQ(history.integrity, "ok");
    QStringList listed;
    for (const auto& [type, path] : history.rows) {
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
        listed << path;
    }
    const QDir movies(program.capturesFolder("Recordings"));
    for (const QFileInfo& file : movies.entryInfoList(QDir::Files | QDir::Hidden)) {
        const auto movie = movieprobe::probe(file.filePath());
        EXPECT_TRUE(movie && movie->codec == "h264" && !movie->frameTimes.empty() &&
                    listed.contains(file.filePath()))
            << file.fileName().toStdString();
    }
    const QDir pictures(program.capturesFolder("Screenshots"));
    for (const QFileInfo& file : pictures.entryInfoList(QDir::Files | QDir::Hidden)) {
        EXPECT_FALSE(QImage(file.filePath()).isNull()) << file.fileName().toStdString();
    }
}

}  // namespace

// How a recording ends: stopped by the user, bare and under a window manager with a compositor
// (managed) or installed by the package (run by its check), or in the ways that once cost the
// movie. Each leaves one playable, listed movie.
enum class Ending { stopped, managed, package, terminated, fromTray, diskFull, littleRoom, killed };

class RecordingEnding : public testing::TestWithParam<Ending> {};

std::string endingName(const testing::TestParamInfo<Ending>& info) {
    constexpr std::array names{
        "Stopped",  "StoppedUnderWindowManager", "Installed",        "Terminated", "QuitFromTray",
        "DiskFull", "LittleRoomAtStop",          "KilledWithoutRoom"};
    return names[static_cast<size_t>(info.param)];
}

TEST_P(RecordingEnding, LeavesOnePlayableListedMovieAndExitStatusZero) {
    const Ending ending = GetParam();
    const bool byUser = ending <= Ending::package;
    const bool onSmallDisk = ending >= Ending::diskFull;
    std::optional<e2e::WindowManager> windowManager;
    if (ending == Ending::managed) {
        ASSERT_TRUE(windowManager.emplace().started());
    }
    e2e::showOnRoot(e2e::positionPattern());
    Flasher flasher(onSmallDisk);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flasher));
    QTemporaryDir home;
    std::optional<SmallDisk> disk;
    if (onSmallDisk &&
        !disk.emplace(home.path() + "/Documents", ending == Ending::diskFull ? 3 : 24).mounted) {
        GTEST_SKIP() << "no small file system can be mounted here: that needs root";
    }
    e2e::SessionBus bus;
    const e2e::ProgramView view(bus);
    e2e::TrayHost tray(bus);
    ASSERT_TRUE(e2e::waitUntil([&] { return tray.said("ready"); }));
    e2e::Program program(home.path(), bus.environment(), {},
                         ending == Ending::package ? "/usr/bin/quorvastelin" : "");
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(e2e::waitUntil(e2e::windowsModeOn));

    ASSERT_TRUE(selectTheRegion(program));
    ASSERT_TRUE(e2e::waitUntil(recordingWindowShown));
    EXPECT_TRUE(e2e::waitUntil([&] {
        return view.says("Đang quay màn hình…") && view.shows("Đang quay");
    })) << view.dump();
    if (windowManager) {
        expectRecordingWindowPlacedByItsFrameOnEveryWorkspace();
    }
    e2e::xdotool({"mousemove", QString::number(pointerSpot.x()), QString::number(pointerSpot.y())});
    QTest::qWait(byUser ? 3000 : 2000);
    const QString folder = program.capturesFolder("Recordings");
    const auto says = [&](const QString& prefix) {
        return e2e::waitUntil([&] { return view.labelStartingWith(prefix).has_value(); });
    };
    switch (ending) {
        case Ending::stopped:
        case Ending::managed:
        case Ending::package:
            // The overlay took the keyboard while the 5 that started the recording was down;
            // this press still counts.
            e2e::holdChord(leftSuper, key5);
            EXPECT_TRUE(says("Đã lưu: ")) << view.dump();
            break;
        case Ending::terminated:
            EXPECT_EQ(program.stop(SIGTERM), 0);
            break;
        case Ending::fromTray:
            tray.click("Thoát");
            EXPECT_EQ(program.waitForExit(), 0);
            break;
        case Ending::diskFull:
            // The writer's first failure ends the recording without waiting for the user.
            EXPECT_TRUE(e2e::waitUntil([] { return !recordingWindowShown(); }));
            EXPECT_TRUE(says("Quay màn hình thất bại: ")) << view.dump();
            break;
        case Ending::littleRoom: {
            // Less room than the movie takes: finishing cannot write a second copy of it.
            const QFileInfoList movies = QDir(folder).entryInfoList(QDir::Files);
            ASSERT_EQ(movies.size(), 1);
            ASSERT_TRUE(disk->fillLeaving(movies[0].size() / 2));
            e2e::holdChord(leftSuper, key5);
            EXPECT_TRUE(says("Đã lưu: ")) << view.dump();
            break;
        }
        case Ending::killed: {
            // The movie and its note wait for room to complete it. A movie that never got a
            // frame goes, and a note naming a file that is no recording is dropped untouched.
            EXPECT_EQ(program.stop(SIGKILL), -1);
            const QStringList killed = QDir(folder).entryList(QDir::Files);
            const QString notes =
                QFileInfo(program.historyPath()).path() + "/unfinished-recordings";
            const QString frameless = folder + "/Recording_frameless.mov";
            const QString elsewhere = home.path() + "/plan.txt";
            const QByteArray started = "2026-12-07T08:00:00Z\n";
            ASSERT_TRUE(
                testmedia::writeFile(frameless, {}) && testmedia::writeFile(elsewhere, "mine") &&
                testmedia::writeFile(notes + "/frameless.recording",
                                     started + frameless.toUtf8()) &&
                testmedia::writeFile(notes + "/plan.recording", started + elsewhere.toUtf8()) &&
                disk->fillLeaving(100 * 1024));
            for (const QString& status : {"Chưa khôi phục được bản quay " + killed.value(0) + ": ",
                                          "Đã khôi phục bản quay: " + killed.value(0)}) {
                e2e::Program restarted(home.path(), bus.environment());
                ASSERT_TRUE(restarted.start());
                EXPECT_TRUE(says(status)) << view.dump();
                EXPECT_EQ(restarted.stop(), 0);
                EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), killed);
                if (QDir(notes).entryList(QDir::Files) ==
                    QStringList{killed.value(0) + ".recording"}) {
                    disk->empty();
                }
            }
            QFile users(elsewhere);
            EXPECT_TRUE(users.open(QIODevice::ReadOnly) && users.readAll() == "mine");
            break;
        }
    }
    expectOnlyWholeListedCaptures(program);
    const QStringList movies = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(movies.size(), 1) << movies.join(' ').toStdString();
    EXPECT_TRUE(QDir(QFileInfo(program.historyPath()).path() + "/unfinished-recordings").isEmpty());
    if (byUser) {
        EXPECT_FALSE(recordingWindowShown());
        EXPECT_TRUE(QRegularExpression(R"(^Recording_\d{4}(-\d\d){2}_\d\d(-\d\d){2}\.mov$)")
                        .match(movies[0])
                        .hasMatch());
        expectRegionMovie(folder + '/' + movies[0]);
        // The new row's thumbnail is a frame, neither the plain box it starts as nor the
        // placeholder.
        EXPECT_TRUE(e2e::waitUntil([&] {
            return view.shown("label", "Đã lưu: " + movies[0]) && view.shows(e2e::mainTitle);
        }));
        const auto kind = view.shown("table cell", "Video");
        ASSERT_TRUE(kind && view.shown("table cell", movies[0])) << view.dump();
        const QRect thumbnail(kind->extents.left() - 104, kind->extents.top() + 8, 96,
                              kind->extents.height() - 16);
        EXPECT_TRUE(e2e::waitUntil([&] { return e2e::colourCount("root", thumbnail) > 100; }));
    }
    if (ending != Ending::terminated && ending != Ending::fromTray && ending != Ending::killed) {
        EXPECT_EQ(program.stop(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, RecordingEnding,
                         testing::Values(Ending::stopped, Ending::managed, Ending::terminated,
                                         Ending::fromTray, Ending::diskFull, Ending::littleRoom,
                                         Ending::killed),
                         endingName);
INSTANTIATE_TEST_SUITE_P(DISABLED_Installed, RecordingEnding, testing::Values(Ending::package),
                         endingName);

// Killed at moments of a screenshot and a recording, and started again each time: it finds only
// whole, listed captures and an intact history.
TEST(KilledProgram, EachNextStartKeepsOnlyWholeListedCapturesAndAnIntactHistory) {
    enum class Moment { savingScreenshot, regionChosen, finishing, none };
    e2e::showOnRoot(e2e::positionPattern());
    Flasher flasher;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flasher));
    QTemporaryDir home;
    e2e::SessionBus bus;
    const e2e::ProgramView view(bus);
    for (const Moment moment :
         {Moment::savingScreenshot, Moment::regionChosen, Moment::finishing, Moment::none}) {
        SCOPED_TRACE(static_cast<int>(moment));
        e2e::Program program(home.path(), bus.environment());
        ASSERT_TRUE(program.start());
        ASSERT_TRUE(
            e2e::waitUntil([&] { return view.shows(e2e::mainTitle) && e2e::windowsModeOn(); }));
        expectOnlyWholeListedCaptures(program);
        if (moment == Moment::none) {
            EXPECT_EQ(program.stop(), 0);
            break;
        }
        if (moment == Moment::savingScreenshot) {
            // The whole first monitor, big enough that saving it takes a while.
            ASSERT_TRUE(e2e::pressUntilOverlay(program, [] { e2e::xdotool({"key", "ctrl+4"}); }));
            e2e::drag({e2e::monitorA.x, e2e::monitorA.y},
                      {e2e::monitorA.x + e2e::monitorA.width - 1,
                       e2e::monitorA.y + e2e::monitorA.height - 1});
            ASSERT_TRUE(e2e::waitUntil([&] { return view.shows(e2e::editorTitle); }));
            QTest::qWait(200);
            e2e::xdotool({"key", "Return", "sleep", "0.05"});
        } else {
            ASSERT_TRUE(selectTheRegion(program));
        }
        if (moment == Moment::finishing) {
            ASSERT_TRUE(e2e::waitUntil(recordingWindowShown));
            QTest::qWait(2500);
            e2e::xdotool({"key", "ctrl+5"});
        }
        EXPECT_EQ(program.stop(SIGKILL), -1);
    }
}

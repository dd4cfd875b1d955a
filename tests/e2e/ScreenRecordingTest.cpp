#include "main/CaptureService/CaptureService.h"
#include "tests/support/E2eSupport.h"
#include "tests/support/HistoryFile.h"
#include "tests/support/MovieProbe.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <optional>

namespace {

// The recorded region, in root window pixels: inside monitor A, over the position pattern. Its
// width is no multiple of FFmpeg's SIMD blocks, which once made the thumbnail overrun memory.
const QRect region(200, 300, 600, 300);
// A window inside the region whose colour changes ten times a second.
const QRect flasherArea(region.x() + 40, region.y() + 40, 160, 120);
const QList<QColor> flashColours = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
// Where the pointer rests: over the pattern, well away from the flashing window.
const QPoint pointerSpot(region.x() + 400, region.y() + 200);

class Flasher : public QWidget {
  public:
    Flasher() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {
        setGeometry(flasherArea);
        connect(&timer, &QTimer::timeout, this, [this] {
            colour = (colour + 1) % flashColours.size();
            update();
        });
        timer.start(100);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), flashColours[colour]);
    }

  private:
    QTimer timer;
    int colour = 0;
};

int channelGap(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

bool isFlashColour(QColor seen) {
    return std::any_of(flashColours.begin(), flashColours.end(),
                       [&](const QColor& colour) { return channelGap(seen, colour) < 40; });
}

// Drags with the real pointer, in root window pixels, the way a person would.
void dragOnRoot(QPoint from, QPoint to) {
    const QPoint middle = (from + to) / 2;
    e2e::runTool("xdotool",
                 {"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown",
                  "1", "mousemove", QString::number(middle.x()), QString::number(middle.y()),
                  "mousemove", QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
}

// Keycodes of Xvfb's evdev keymap; after the mapping, Super is pressed by its keycode.
constexpr int leftControl = 37;
constexpr int leftSuper = 133;
constexpr int key5 = 14;

// Whether a window titled "Đang quay" is shown, by this process or the program.
bool recordingWindowShown() {
    return e2e::runTool("xdotool", {"search", "--onlyvisible", "--name", "^Đang quay$"}).exitCode ==
           0;
}

// The paths of the "video" rows, read as another program would.
QStringList videoRows(const QString& database) {
    return QString::fromUtf8(
               e2e::runTool("sqlite3", {"-readonly", database,
                                        "SELECT path FROM captures WHERE type = 'video'"})
                   .output)
        .split('\n', Qt::SkipEmptyParts);
}

// A movie of the region as the flashing window and the pointer at its spot left it: h264 in
// a QuickTime file of the region's size, about three seconds from time zero, showing the
// pattern, the window's colours and the pointer.
void expectRegionMovie(const QString& path) {
    const auto movie = movieprobe::probe(path);
    ASSERT_TRUE(movie.has_value());
    EXPECT_TRUE(movie->container.contains("mov"));
    EXPECT_EQ(movie->codec, "h264");
    EXPECT_EQ(movie->width, region.width());
    EXPECT_EQ(movie->height, region.height());
    ASSERT_FALSE(movie->frameTimes.empty());
    EXPECT_DOUBLE_EQ(movie->frameTimes.front(), 0.0);
    EXPECT_GT(movie->duration, 2.0);
    EXPECT_LT(movie->duration, 4.0);
    // Ten colour changes a second over three seconds leave far more than a handful of frames.
    EXPECT_GT(movie->frameTimes.size(), 15u);

    const QImage first = movieprobe::frameAt(path, 0);
    const QImage later = movieprobe::frameAt(path, movie->frameTimes[movie->frameTimes.size() / 2]);
    ASSERT_FALSE(first.isNull());
    ASSERT_FALSE(later.isNull());

    // Away from the window and the pointer the frame is the pattern behind the region.
    int compared = 0;
    int gapSum = 0;
    for (int y = 180; y < region.height(); y += 17) {
        for (int x = 250; x < region.width(); x += 13) {
            if ((QPoint(x, y) + region.topLeft() - pointerSpot).manhattanLength() < 40) {
                continue;
            }
            gapSum += channelGap(later.pixelColor(x, y),
                                 QColor(e2e::positionColour(x + region.x(), y + region.y())));
            ++compared;
        }
    }
    EXPECT_LT(gapSum / compared, 16) << "average channel gap from the pattern";

    const QPoint flasherCentre = flasherArea.center() - region.topLeft();
    EXPECT_TRUE(isFlashColour(first.pixelColor(flasherCentre)));
    EXPECT_TRUE(isFlashColour(later.pixelColor(flasherCentre)));

    // The pointer is drawn in: around its hot spot the frame departs from the pattern.
    const QPoint hotSpot = pointerSpot - region.topLeft();
    int covered = 0;
    for (int dy = -6; dy <= 6; ++dy) {
        for (int dx = -6; dx <= 6; ++dx) {
            const QPoint at = hotSpot + QPoint(dx, dy);
            const QColor expected(e2e::positionColour(at.x() + region.x(), at.y() + region.y()));
            covered += channelGap(later.pixelColor(at), expected) > 80 ? 1 : 0;
        }
    }
    EXPECT_GT(covered, 15) << "pixels of the pointer near its hot spot";
}

// Under a window manager the recording window's frame has its lower-left corner 240 left of
// the primary monitor's right edge and 90 below its top, and the window stays on every
// workspace the user switches to.
void expectRecordingWindowPlacedByItsFrameOnEveryWorkspace() {
    const QString window = QString::fromUtf8(
        e2e::runTool("xdotool", {"search", "--onlyvisible", "--name", "^Đang quay$"})
            .output.trimmed());
    const auto numbers = [](const QStringList& command, const QString& pattern) {
        QList<int> found;
        const QString text =
            QString::fromUtf8(e2e::runTool(command.front(), command.mid(1)).output);
        for (auto match = QRegularExpression(pattern).globalMatch(text); match.hasNext();) {
            found << match.next().captured(1).toInt();
        }
        return found;
    };
    const QPoint wanted(e2e::monitorA.x + e2e::monitorA.width - 240, e2e::monitorA.y + 90);
    QPoint corner;
    EXPECT_TRUE(e2e::waitUntil([&] {
        // Left, right, top, bottom.
        const QList<int> frame =
            numbers({"xprop", "-id", window, "_NET_FRAME_EXTENTS"}, R"((\d+))");
        // Absolute left, absolute top, width, height.
        const QList<int> content = numbers(
            {"xwininfo", "-id", window}, R"((?:Absolute upper-left .:|Width:|Height:)\s+(-?\d+))");
        if (frame.size() != 4 || content.size() != 4) {
            return false;
        }
        corner = QPoint(content[0] - frame[0], content[1] + content[3] + frame[3]);
        return corner == wanted;
    })) << corner.x()
        << ',' << corner.y();
    ASSERT_EQ(e2e::runTool("xdotool", {"set_desktop", "2"}).exitCode, 0);
    EXPECT_TRUE(e2e::waitUntil(
        [] { return e2e::runTool("xdotool", {"get_desktop"}).output.trimmed() == "2"; }));
    EXPECT_TRUE(e2e::runTool("xwininfo", {"-id", window}).output.contains("IsViewable"));
    e2e::runTool("xdotool", {"set_desktop", "0"});
}

const QString recordingsFolder = QStringLiteral("/Documents/Quorvastelin/Recordings");

}  // namespace

// The real program, bare and under a window manager with a compositor.
class ProgramRecording : public testing::TestWithParam<bool> {};

TEST_P(ProgramRecording, RecordsBetweenControlFiveAndPhysicalSuperFiveHeldAsPeopleDo) {
    std::optional<e2e::WindowManager> windowManager;
    if (GetParam()) {
        windowManager.emplace();
        ASSERT_TRUE(windowManager->started());
    }
    e2e::showOnRoot(e2e::positionPattern());
    Flasher flasher;
    flasher.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flasher));
    QTemporaryDir home;
    e2e::SessionBus bus;
    e2e::Program program(home.path(), bus.environment());
    const auto tree = [&] { return e2e::parseAccessibles(bus.read("quorvastelin")); };
    const auto showing = [&](const QString& role, const QString& name) {
        const auto node = e2e::findAccessible(tree(), role, name);
        return node && node->showing;
    };
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(e2e::waitUntil([] { return e2e::keyboardOptions().contains("altwin:ctrl_win"); }));

    ASSERT_TRUE(e2e::repeatUntil([] { e2e::holdChord(leftControl, key5); },
                                 [&] { return e2e::overlayShown(program.pid()); }));
    dragOnRoot(region.topLeft(), region.topLeft() + QPoint(region.width(), region.height()));
    ASSERT_TRUE(e2e::waitUntil(recordingWindowShown));
    EXPECT_TRUE(e2e::waitUntil([&] {
        return e2e::findAccessible(tree(), "label", "Đang quay màn hình…").has_value() &&
               showing("filler", "Đang quay");
    })) << bus.read("quorvastelin").join('\n').toStdString();
    if (windowManager) {
        expectRecordingWindowPlacedByItsFrameOnEveryWorkspace();
    }
    e2e::runTool("xdotool",
                 {"mousemove", QString::number(pointerSpot.x()), QString::number(pointerSpot.y())});
    QTest::qWait(3000);
    // The overlay took the keyboard while the 5 that started the recording was down; this
    // press still counts.
    e2e::holdChord(leftSuper, key5);

    const QString folder = home.path() + recordingsFolder;
    const QString database = home.path() + "/.local/share/Quorvastelin/history.db";
    ASSERT_TRUE(e2e::waitUntil([&] { return !videoRows(database).isEmpty(); }));
    EXPECT_FALSE(recordingWindowShown());
    const QStringList movies = QDir(folder).entryList({"Recording_*.mov"}, QDir::Files);
    ASSERT_EQ(movies.size(), 1);
    EXPECT_TRUE(QRegularExpression(R"(^Recording_\d{4}(-\d\d){2}_\d\d(-\d\d){2}\.mov$)")
                    .match(movies[0])
                    .hasMatch());
    EXPECT_EQ(videoRows(database), QStringList{folder + '/' + movies[0]});
    expectRegionMovie(folder + '/' + movies[0]);

    // The main window comes back with the saved message and the new first row.
    EXPECT_TRUE(e2e::waitUntil([&] { return showing("label", "Đã lưu: " + movies[0]); }));
    EXPECT_TRUE(e2e::waitUntil([&] { return showing("filler", "Quorvastelin 1.0.0"); }));
    const auto kind = e2e::findAccessible(tree(), "table cell", "Video");
    ASSERT_TRUE(kind);
    EXPECT_TRUE(e2e::findAccessible(tree(), "table cell", movies[0]));
    // The thumbnail is a frame of the movie, not the dark placeholder.
    ASSERT_TRUE(e2e::waitUntil([&] {
        const QRect cell(kind->extents.left() - 112, kind->extents.top(), 112,
                         kind->extents.height());
        const QImage screen(e2e::saveScreenPicture("main-window-after-recording"));
        const QImage thumbnail = screen.copy(cell.adjusted(8, 8, -8, -8));
        int placeholderPixels = 0;
        for (int y = 0; y < thumbnail.height(); ++y) {
            for (int x = 0; x < thumbnail.width(); ++x) {
                placeholderPixels += thumbnail.pixel(x, y) == qRgb(0x55, 0x55, 0x55);
            }
        }
        return !thumbnail.isNull() &&
               placeholderPixels < thumbnail.width() * thumbnail.height() / 4;
    }));
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
}

TEST(ScreenRecording, MonitorRemovedBeforeTheRecordingStartsEndsWithErrorThirty) {
    QTemporaryDir support;
    CaptureService service(std::make_shared<HistoryDatabase>(support.path()));
    QStringList statuses;
    int finished = 0;
    service.onStatus = [&](const QString& text) { statuses << text; };
    service.onVideoFinished = [&] { ++finished; };
    service.startVideo();
    ASSERT_TRUE(
        e2e::waitUntil([] { return e2e::overlayShown(QCoreApplication::applicationPid()); }));
    e2e::runTool("xdotool",
                 {"mousemove", "2100", "100", "mousedown", "1", "mousemove", "2500", "400"});
    ASSERT_EQ(e2e::runTool("xrandr", {"--delmonitor", "B"}).exitCode, 0);
    e2e::runTool("xdotool", {"mouseup", "1"});
    ASSERT_TRUE(e2e::waitUntil([&] { return finished > 0; }));
    QTest::qWait(300);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(statuses.last(), "Không thể quay màn hình: Không tìm thấy màn hình đã chọn");
    EXPECT_FALSE(recordingWindowShown());
    EXPECT_FALSE(QDir(QDir::homePath() + recordingsFolder).exists());
}

INSTANTIATE_TEST_SUITE_P(Desktops, ProgramRecording, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "WindowManager" : "BareServer";
                         });

enum class KillMoment { regionChosen, recording, finishing };

// The program killed outright at several moments of a recording, then started again.
class KilledRecording : public testing::TestWithParam<KillMoment> {};

TEST_P(KilledRecording, TheNextStartLeavesOnlyPlayableListedMoviesAndAnIntactHistory) {
    e2e::showOnRoot(e2e::positionPattern());
    Flasher flasher;
    flasher.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flasher));
    QTemporaryDir home;
    e2e::SessionBus bus;
    const QString folder = home.path() + recordingsFolder;
    const QString database = home.path() + "/.local/share/Quorvastelin/history.db";
    {
        e2e::Program program(home.path(), bus.environment());
        ASSERT_TRUE(program.start());
        ASSERT_TRUE(
            e2e::waitUntil([] { return e2e::keyboardOptions().contains("altwin:ctrl_win"); }));
        ASSERT_TRUE(e2e::repeatUntil([] { e2e::holdChord(leftControl, key5); },
                                     [&] { return e2e::overlayShown(program.pid()); }));
        dragOnRoot(region.topLeft(), region.topLeft() + QPoint(region.width(), region.height()));
        if (GetParam() != KillMoment::regionChosen) {
            ASSERT_TRUE(e2e::waitUntil(recordingWindowShown));
            QTest::qWait(2500);
        }
        if (GetParam() == KillMoment::finishing) {
            e2e::runTool("xdotool", {"key", "ctrl+5"});
        }
        program.signal(SIGKILL);
        EXPECT_EQ(program.waitForExit(), std::optional<int>(-1));
    }

    e2e::Program restarted(home.path(), bus.environment());
    ASSERT_TRUE(restarted.start());
    const auto tree = [&] { return e2e::parseAccessibles(bus.read("quorvastelin")); };
    ASSERT_TRUE(e2e::waitUntil([&] {
        const auto window = e2e::findAccessible(tree(), "filler", "Quorvastelin 1.0.0");
        return window && window->showing;
    }));
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    QStringList listed = videoRows(database);
    for (const QString& name : left) {
        const auto movie = movieprobe::probe(folder + '/' + name);
        ASSERT_TRUE(movie.has_value()) << name.toStdString();
        EXPECT_EQ(movie->codec, "h264");
        EXPECT_FALSE(movie->frameTimes.empty());
        EXPECT_TRUE(listed.contains(folder + '/' + name)) << name.toStdString();
    }
    if (GetParam() == KillMoment::recording) {
        ASSERT_EQ(left.size(), 1);
        // Killed two and a half seconds in, the movie keeps all but the last moments.
        EXPECT_GT(movieprobe::probe(folder + '/' + left[0])->duration, 1.0);
        EXPECT_TRUE(e2e::findAccessible(tree(), "label", "Đã khôi phục bản quay: " + left[0]))
            << bus.read("quorvastelin").join('\n').toStdString();
    }
    EXPECT_EQ(historyFile::read(database).integrity, "ok");
    restarted.signal(SIGTERM);
    EXPECT_EQ(restarted.waitForExit(), std::optional<int>(0));
}

INSTANTIATE_TEST_SUITE_P(Moments, KilledRecording,
                         testing::Values(KillMoment::regionChosen, KillMoment::recording,
                                         KillMoment::finishing),
                         [](const testing::TestParamInfo<KillMoment>& info) {
                             switch (info.param) {
                                 case KillMoment::regionChosen:
                                     return "RightAfterTheRegionIsChosen";
                                 case KillMoment::recording:
                                     return "MidRecording";
                                 case KillMoment::finishing:
                                     return "WhileFinishing";
                             }
                             return "";
                         });

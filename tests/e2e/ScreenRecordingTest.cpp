#include "tests/support/E2eSupport.h"
#include "tests/support/HistoryFile.h"
#include "tests/support/MovieProbe.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

namespace {

// Inside monitor A, over the position pattern. Its width is no multiple of FFmpeg's SIMD
// blocks, which once made the thumbnail overrun memory.
const QRect region(200, 300, 600, 300);
// Over the pattern, away from the flasher.
const QPoint pointerSpot(600, 500);

// A window inside the region changing colour ten times a second.
class Flasher : public QWidget {
  public:
    Flasher() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {
        setGeometry(region.x() + 40, region.y() + 40, 160, 120);
        startTimer(100);
        show();
    }

  protected:
    void timerEvent(QTimerEvent*) override {
        hue += 90;
        update();
    }
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor::fromHsv(hue % 360, 255, 255));
    }

  private:
    int hue = 0;
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
        const QColor a = frame.pixelColor(at - region.topLeft());
        const QColor b(e2e::positionColour(at.x(), at.y()));
        return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                         std::abs(a.blue() - b.blue())});
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

// Bare and under a window manager with a compositor.
class ProgramRecording : public testing::TestWithParam<bool> {};

TEST_P(ProgramRecording, RecordsBetweenControlFiveAndPhysicalSuperFiveHeldAsPeopleDo) {
    std::optional<e2e::WindowManager> windowManager;
    if (GetParam()) {
        ASSERT_TRUE(windowManager.emplace().started());
    }
    e2e::showOnRoot(e2e::positionPattern());
    Flasher flasher;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flasher));
    QTemporaryDir home;
    e2e::SessionBus bus;
    const e2e::ProgramView view(bus);
    e2e::Program program(home.path(), bus.environment());
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
    QTest::qWait(3000);
    // The overlay took the keyboard while the 5 that started the recording was down; this
    // press still counts.
    e2e::holdChord(leftSuper, key5);

    const QString folder = program.capturesFolder("Recordings");
    ASSERT_TRUE(
        e2e::waitUntil([&] { return !historyFile::read(program.historyPath()).rows.empty(); }));
    EXPECT_FALSE(recordingWindowShown());
    const QStringList movies = QDir(folder).entryList(QDir::Files);
    ASSERT_EQ(movies.size(), 1);
    EXPECT_TRUE(QRegularExpression(R"(^Recording_\d{4}(-\d\d){2}_\d\d(-\d\d){2}\.mov$)")
                    .match(movies[0])
                    .hasMatch());
    EXPECT_EQ(historyFile::read(program.historyPath()).rows,
              (std::vector<std::pair<QString, QString>>{{"video", folder + '/' + movies[0]}}));
    expectRegionMovie(folder + '/' + movies[0]);

    // The new row's thumbnail is a frame, neither the plain box it starts as nor the placeholder.
    EXPECT_TRUE(e2e::waitUntil([&] {
        return view.shown("label", "Đã lưu: " + movies[0]) && view.shows("Quorvastelin 1.0.0");
    }));
    const auto kind = view.shown("table cell", "Video");
    ASSERT_TRUE(kind && view.shown("table cell", movies[0])) << view.dump();
    const QRect thumbnail(kind->extents.left() - 104, kind->extents.top() + 8, 96,
                          kind->extents.height() - 16);
    EXPECT_TRUE(e2e::waitUntil([&] { return e2e::colourCount("root", thumbnail) > 100; }));
    EXPECT_EQ(program.stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Desktops, ProgramRecording, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "WindowManager" : "BareServer";
                         });

// Killed at moments of a screenshot and a recording, and started again each time: it finds only
// whole, listed captures, an intact history, and the movie cut short recovered.
TEST(KilledProgram, EachNextStartKeepsOnlyWholeListedCapturesAndAnIntactHistory) {
    enum class Moment { savingScreenshot, regionChosen, recording, finishing, none };
    e2e::showOnRoot(e2e::positionPattern());
    Flasher flasher;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flasher));
    QTemporaryDir home;
    e2e::SessionBus bus;
    const e2e::ProgramView view(bus);
    Moment previous = Moment::none;
    for (const Moment moment : {Moment::savingScreenshot, Moment::regionChosen, Moment::recording,
                                Moment::finishing, Moment::none}) {
        SCOPED_TRACE(static_cast<int>(moment));
        e2e::Program program(home.path(), bus.environment());
        ASSERT_TRUE(program.start());
        ASSERT_TRUE(e2e::waitUntil(
            [&] { return view.shows("Quorvastelin 1.0.0") && e2e::windowsModeOn(); }));
        if (previous == Moment::recording) {
            const QString recoveredPrefix = QStringLiteral("Đã khôi phục bản quay: ");
            std::optional<QString> recovered;
            EXPECT_TRUE(e2e::waitUntil(
                [&] { return (recovered = view.labelStartingWith(recoveredPrefix)).has_value(); }));
            // Killed two and a half seconds in, the movie keeps all but the last moments.
            const auto movie =
                movieprobe::probe(program.capturesFolder("Recordings") + '/' +
                                  recovered.value_or("").mid(recoveredPrefix.size()));
            EXPECT_TRUE(movie && movie->duration > 1.0) << view.dump();
        }
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
            ASSERT_TRUE(e2e::waitUntil([&] { return view.shows("Chỉnh sửa ảnh — Quorvastelin"); }));
            QTest::qWait(200);
            e2e::xdotool({"key", "Return", "sleep", "0.05"});
        } else {
            ASSERT_TRUE(selectTheRegion(program));
        }
        if (moment == Moment::recording || moment == Moment::finishing) {
            ASSERT_TRUE(e2e::waitUntil(recordingWindowShown));
            QTest::qWait(2500);
        }
        if (moment == Moment::finishing) {
            e2e::xdotool({"key", "ctrl+5"});
        }
        EXPECT_EQ(program.stop(SIGKILL), -1);
        previous = moment;
    }
}

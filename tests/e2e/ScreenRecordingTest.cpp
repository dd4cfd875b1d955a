#include "tests/support/E2eSupport.h"
#include "tests/support/HistoryFile.h"
#include "tests/support/MovieProbe.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {

// The recorded region, in root window pixels: inside monitor A, over the position pattern. Its
// width is no multiple of FFmpeg's SIMD blocks, which once made the thumbnail overrun memory.
const QRect region(200, 300, 600, 300);
// Where the pointer rests: over the pattern, well away from the flashing window.
const QPoint pointerSpot(region.x() + 400, region.y() + 200);

// A window inside the region whose colour changes ten times a second.
class Flasher : public QWidget {
  public:
    Flasher() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {
        setGeometry(region.x() + 40, region.y() + 40, 160, 120);
        connect(&timer, &QTimer::timeout, this, [this] {
            colour = (colour + 1) % 4;
            update();
        });
        timer.start(100);
        show();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(),
                                QList<QColor>{Qt::red, Qt::green, Qt::blue, Qt::yellow}[colour]);
    }

  private:
    QTimer timer;
    int colour = 0;
};

int channelGap(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// Keycodes of Xvfb's evdev keymap; after the mapping, Super is pressed by its keycode.
constexpr int leftControl = 37;
constexpr int leftSuper = 133;
constexpr int key5 = 14;

bool recordingWindowShown() {
    return e2e::xdotool({"search", "--onlyvisible", "--name", "^Đang quay$"});
}

// Control+5 held as people hold it, then the region dragged out.
bool selectTheRegion(const e2e::Program& program) {
    return e2e::pressUntilOverlay(program, [] { e2e::holdChord(leftControl, key5); }) &&
           e2e::drag(region.topLeft(), region.bottomRight() + QPoint(1, 1));
}

// A movie of the region as the flashing window and the pointer at its spot left it: h264 of the
// region's size, about three seconds long, showing the changes, the pattern and the pointer.
void expectRegionMovie(const QString& path) {
    const auto movie = movieprobe::probe(path);
    ASSERT_TRUE(movie.has_value());
    EXPECT_EQ(movie->codec, "h264");
    EXPECT_EQ(QSize(movie->width, movie->height), region.size());
    EXPECT_GT(movie->duration, 2.0);
    EXPECT_LT(movie->duration, 4.0);
    // Ten colour changes a second over three seconds leave far more than a handful of frames.
    EXPECT_GT(movie->frameTimes.size(), 15u);

    const QImage later = movieprobe::frameAt(path, movie->frameTimes[movie->frameTimes.size() / 2]);
    ASSERT_FALSE(later.isNull());
    const auto gapFromPattern = [&](QPoint at) {
        return channelGap(later.pixelColor(at),
                          QColor(e2e::positionColour(at.x() + region.x(), at.y() + region.y())));
    };
    // Away from the window and the pointer the frame is the pattern behind the region.
    int compared = 0;
    int gapSum = 0;
    for (int y = 180; y < region.height(); y += 17) {
        for (int x = 250; x < region.width(); x += 13) {
            if ((QPoint(x, y) + region.topLeft() - pointerSpot).manhattanLength() >= 40) {
                gapSum += gapFromPattern({x, y});
                ++compared;
            }
        }
    }
    EXPECT_LT(gapSum / compared, 16) << "average channel gap from the pattern";
    // The pointer is drawn in: around its hot spot the frame departs from the pattern.
    int covered = 0;
    for (int dy = -6; dy <= 6; ++dy) {
        for (int dx = -6; dx <= 6; ++dx) {
            covered += gapFromPattern(pointerSpot - region.topLeft() + QPoint(dx, dy)) > 80;
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
    // The frame's extents left, right, top, bottom, then the content's absolute left and top, its
    // width and height.
    const QRegularExpression numbers(
        R"(= (\d+), \d+, \d+, (\d+).*?X:\s+(-?\d+).*?Y:\s+(-?\d+).*?Width: (\d+).*?Height: (\d+))",
        QRegularExpression::DotMatchesEverythingOption);
    const QPoint wanted(e2e::monitorA.x + e2e::monitorA.width - 240, e2e::monitorA.y + 90);
    QPoint corner;
    EXPECT_TRUE(e2e::waitUntil([&] {
        const QRegularExpressionMatch found = numbers.match(
            QString::fromUtf8(e2e::runTool("xprop", {"-id", window, "_NET_FRAME_EXTENTS"}).output +
                              e2e::runTool("xwininfo", {"-id", window}).output));
        corner = QPoint(
            found.captured(3).toInt() - found.captured(1).toInt(),
            found.captured(4).toInt() + found.captured(6).toInt() + found.captured(2).toInt());
        return found.hasMatch() && corner == wanted;
    })) << corner.x()
        << ',' << corner.y();
    ASSERT_TRUE(e2e::xdotool({"set_desktop", "2"}));
    EXPECT_TRUE(e2e::waitUntil(
        [] { return e2e::runTool("xdotool", {"get_desktop"}).output.trimmed() == "2"; }));
    EXPECT_TRUE(e2e::runTool("xwininfo", {"-id", window}).output.contains("IsViewable"));
    e2e::xdotool({"set_desktop", "0"});
}

// What a killed program may leave: whole pictures, and playable movies each listed in an intact
// history whose every row names an existing file.
void expectOnlyWholeListedCaptures(const e2e::Program& program) {
    const auto history = historyFile::read(program.historyPath());
    EXPECT_EQ(history.integrity, "ok");
    QStringList listed;
    for (const auto& [type, path] : history.rows) {
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
        listed << path;
    }
    const QDir movies(program.capturesFolder("Recordings"));
    for (const QString& name : movies.entryList(QDir::Files | QDir::Hidden)) {
        const auto movie = movieprobe::probe(movies.filePath(name));
        EXPECT_TRUE(movie && movie->codec == "h264" && !movie->frameTimes.empty())
            << name.toStdString();
        EXPECT_TRUE(listed.contains(movies.filePath(name))) << name.toStdString();
    }
    const QDir pictures(program.capturesFolder("Screenshots"));
    for (const QString& name : pictures.entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_FALSE(QImage(pictures.filePath(name)).isNull()) << name.toStdString();
    }
}

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

    // The main window comes back with the saved message and the new first row, whose
    // thumbnail is a frame of the movie: many colours, neither the plain box it starts as nor
    // the grey placeholder.
    EXPECT_TRUE(e2e::waitUntil([&] {
        return view.shown("label", "Đã lưu: " + movies[0]) && view.shows("Quorvastelin 1.0.0");
    }));
    const auto kind = view.shown("table cell", "Video");
    ASSERT_TRUE(kind && view.shown("table cell", movies[0])) << view.dump();
    const QRect thumbnail(kind->extents.left() - 104, kind->extents.top() + 8, 96,
                          kind->extents.height() - 16);
    EXPECT_TRUE(e2e::waitUntil([&] { return e2e::colourCount("root", thumbnail) > 100; }));
    e2e::saveScreenPicture("main-window-after-recording");
    EXPECT_EQ(program.stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Desktops, ProgramRecording, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "WindowManager" : "BareServer";
                         });

// The program killed outright at several moments of a screenshot and a recording, each time
// started again: the next start finds only whole pictures and playable movies, each listed, an
// intact history, and the movie cut short mid-recording recovered.
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
            // The whole first monitor: a picture big enough that saving it takes a while.
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

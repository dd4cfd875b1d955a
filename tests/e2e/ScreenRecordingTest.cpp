#include "main/CaptureService/CaptureService.h"
#include "main/VideoRecorder/ScreenVideoRecorder.h"
#include "tests/support/E2eSupport.h"
#include "tests/support/MovieProbe.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <xcb/xcb.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <csignal>
#include <cstdlib>

namespace {

// The recorded region, in root window pixels: inside monitor A, over the position pattern.
const QRect region(200, 300, 640, 480);
// A window inside the region whose colour changes ten times a second.
const QRect flasherArea(region.x() + 40, region.y() + 40, 160, 120);
const QList<QColor> flashColours = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
// Where the pointer rests: over the pattern, well away from the flashing window.
const QPoint pointerSpot(region.x() + 400, region.y() + 300);

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

struct Recording {
    std::vector<Result<QString>> results;
};

// Records the region with the real stream and writer while the activity runs.
void record(const QString& path, const std::function<void()>& activity, Recording& recording) {
    auto created =
        ScreenVideoRecorder::create(platform::StreamConfiguration{region, region.size()}, path);
    ASSERT_TRUE(created.ok()) << created.error().description.toStdString();
    auto recorder = created.value();
    std::optional<std::optional<Error>> started;
    recorder->start(
        [&recording](Result<QString> result) { recording.results.push_back(std::move(result)); },
        [&started](std::optional<Error> failure) { started = failure; });
    ASSERT_TRUE(e2e::waitUntil([&] { return started.has_value(); }));
    ASSERT_FALSE(started->has_value()) << (*started)->description.toStdString();
    activity();
    recorder->stop();
    ASSERT_TRUE(e2e::waitUntil([&] { return !recording.results.empty(); }));
}

int channelGap(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

bool isFlashColour(QColor seen) {
    return std::any_of(flashColours.begin(), flashColours.end(),
                       [&](const QColor& colour) { return channelGap(seen, colour) < 40; });
}

QWidget* shownWindowOtherThan(const QWidget* other) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget != other && widget->isVisible() && widget->windowHandle() != nullptr &&
            widget->windowHandle()->isExposed()) {
            return widget;
        }
    }
    return nullptr;
}

QWidget* recordingWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == "Đang quay") {
            return widget;
        }
    }
    return nullptr;
}

// Drags with the real pointer, in root window pixels, the way a person would.
void dragOnRoot(QPoint from, QPoint to) {
    const auto moveTo = [](QPoint point) {
        e2e::runTool("xdotool",
                     {"mousemove", QString::number(point.x()), QString::number(point.y())});
    };
    moveTo(from);
    e2e::runTool("xdotool", {"mousedown", "1"});
    moveTo((from + to) / 2);
    moveTo(to);
    e2e::runTool("xdotool", {"mouseup", "1"});
}

// Keycodes of Xvfb's evdev keymap; after the mapping, Super is pressed by its keycode.
constexpr int leftControl = 37;
constexpr int leftSuper = 133;
constexpr int key5 = 14;

void pressChord(int modifier, int key) {
    e2e::runTool("xdotool", {"keydown", QString::number(modifier), "key", QString::number(key),
                             "keyup", QString::number(modifier)});
}

// Whether another client holds Control plus the key: our own grab attempt is refused.
bool grabbedElsewhere(int keycode) {
    constexpr uint8_t badAccess = 10;
    xcb_connection_t* connection = xcb_connect(e2e::display().toUtf8().constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_generic_error_t* error = xcb_request_check(
        connection, xcb_grab_key_checked(connection, 0, root, XCB_MOD_MASK_CONTROL,
                                         static_cast<xcb_keycode_t>(keycode), XCB_GRAB_MODE_ASYNC,
                                         XCB_GRAB_MODE_ASYNC));
    const bool refused = error && error->error_code == badAccess;
    std::free(error);
    xcb_disconnect(connection);
    return refused;
}

bool recordingWindowShownElsewhere() {
    return e2e::runTool("xdotool", {"search", "--onlyvisible", "--name", "^Đang quay$"}).exitCode ==
           0;
}

// The paths of the "video" rows, read as another program would.
QStringList videoRows(const QString& path) {
    QStringList paths;
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &connection, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(connection, "SELECT path FROM captures WHERE type = 'video'", -1,
                           &statement, nullptr);
        while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
            paths << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(connection);
    return paths;
}

void saveArtifact(const QImage& frame, const QString& name) {
    QDir().mkpath(QStringLiteral(QV_ARTIFACTS));
    frame.save(QStringLiteral(QV_ARTIFACTS) + '/' + name + QStringLiteral(".png"));
}

// A movie of the region as the flashing window and the pointer at its spot left it: h264 in
// a QuickTime file of the region's size, about three seconds from time zero, showing the
// pattern, the window's colours and the pointer.
void expectRegionMovie(const QString& path, const QString& artifactName) {
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
    saveArtifact(first, artifactName + "-first-frame");
    saveArtifact(later, artifactName + "-middle-frame");

    // Away from the window and the pointer the frame is the pattern behind the region.
    int compared = 0;
    int gapSum = 0;
    for (int y = 250; y < region.height(); y += 17) {
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

}  // namespace

TEST(ScreenRecording, MovingContentAndPointerAreRecordedFromTheScreen) {
    e2e::showOnRoot(e2e::positionPattern());
    e2e::runTool("xdotool",
                 {"mousemove", QString::number(pointerSpot.x()), QString::number(pointerSpot.y())});
    Flasher flasher;
    flasher.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flasher));

    QTemporaryDir folder;
    const QString path = folder.filePath("moving.mov");
    Recording recording;
    record(
        path, [] { QTest::qWait(3000); }, recording);
    ASSERT_EQ(recording.results.size(), 1u);
    ASSERT_TRUE(recording.results[0].ok())
        << recording.results[0].error().description.toStdString();

    expectRegionMovie(path, "recording");
}

TEST(ScreenRecording, StillScreenWritesAlmostNoFrames) {
    e2e::showOnRoot(e2e::positionPattern());
    e2e::runTool("xdotool", {"mousemove", "5", "5"});
    QTest::qWait(300);

    QTemporaryDir folder;
    const QString path = folder.filePath("still.mov");
    Recording recording;
    record(
        path, [] { QTest::qWait(2000); }, recording);
    ASSERT_EQ(recording.results.size(), 1u);
    ASSERT_TRUE(recording.results[0].ok())
        << recording.results[0].error().description.toStdString();
    const auto movie = movieprobe::probe(path);
    ASSERT_TRUE(movie.has_value());
    EXPECT_LE(movie->frameTimes.size(), 3u);
    // The movie ends with its last frame, not at the moment of the stop.
    EXPECT_LT(movie->duration, 1.0);
}

TEST(ScreenRecording, PointerMovingOverAStillRegionIsRecorded) {
    e2e::showOnRoot(e2e::positionPattern());
    e2e::runTool("xdotool", {"mousemove", "5", "5"});
    QTest::qWait(300);

    QTemporaryDir folder;
    const QString path = folder.filePath("pointer.mov");
    Recording recording;
    const auto movePointer = [] {
        for (int step = 1; step <= 6; ++step) {
            e2e::runTool("xdotool", {"mousemove", QString::number(region.x() + step * 60),
                                     QString::number(region.y() + 200)});
            QTest::qWait(200);
        }
    };
    record(path, movePointer, recording);
    ASSERT_EQ(recording.results.size(), 1u);
    ASSERT_TRUE(recording.results[0].ok())
        << recording.results[0].error().description.toStdString();
    const auto movie = movieprobe::probe(path);
    ASSERT_TRUE(movie.has_value());
    EXPECT_GE(movie->frameTimes.size(), 6u);
}

TEST(ScreenRecording, RegionOutsideTheScreenFailsToStart) {
    QTemporaryDir folder;
    auto created = ScreenVideoRecorder::create(
        platform::StreamConfiguration{QRect(3000, 1000, 400, 400), QSize(400, 400)},
        folder.filePath("outside.mov"));
    ASSERT_TRUE(created.ok());
    std::optional<std::optional<Error>> started;
    created.value()->start([](Result<QString>) {},
                           [&started](std::optional<Error> failure) { started = failure; });
    ASSERT_TRUE(e2e::waitUntil([&] { return started.has_value(); }));
    EXPECT_TRUE(started->has_value());
}

TEST(ScreenRecording, RegionDraggedOutIsRecordedIntoRecordingsWithItsRow) {
    e2e::showOnRoot(e2e::positionPattern());
    Flasher flasher;
    flasher.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flasher));
    QTemporaryDir support;
    auto database = std::make_shared<HistoryDatabase>(support.path());
    CaptureService service(database);
    QStringList statuses;
    int finished = 0;
    service.onStatus = [&](const QString& text) { statuses << text; };
    service.onVideoFinished = [&] { ++finished; };

    service.startVideo();
    ASSERT_TRUE(e2e::waitUntil([&] { return shownWindowOtherThan(&flasher) != nullptr; }));
    dragOnRoot(region.topLeft(), region.topLeft() + QPoint(region.width(), region.height()));
    ASSERT_TRUE(e2e::waitUntil([] { return recordingWindow() != nullptr; }));
    EXPECT_EQ(statuses.last(), "Đang quay màn hình…");
    e2e::runTool("xdotool",
                 {"mousemove", QString::number(pointerSpot.x()), QString::number(pointerSpot.y())});
    QTest::qWait(3000);
    e2e::saveScreenPicture("recording-window");
    service.startVideo();
    ASSERT_TRUE(e2e::waitUntil([&] { return finished > 0; }));
    QTest::qWait(200);

    EXPECT_EQ(finished, 1);
    EXPECT_EQ(recordingWindow(), nullptr);
    ASSERT_TRUE(statuses.last().startsWith("Đã lưu: Recording_")) << statuses.last().toStdString();
    const QString name = statuses.last().mid(QStringLiteral("Đã lưu: ").size());
    EXPECT_TRUE(QRegularExpression("^Recording_\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}\\.mov$")
                    .match(name)
                    .hasMatch());
    const QString path = QDir::homePath() + "/Documents/Quorvastelin/Recordings/" + name;
    const auto rows = database->recent();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].type, "video");
    EXPECT_EQ(rows[0].path, path);
    expectRegionMovie(path, "video-flow");
}

TEST(ScreenRecording, ProgramRecordsBetweenControlFiveAndPhysicalSuperFive) {
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
    ASSERT_TRUE(e2e::waitUntil([] {
        return e2e::keyboardOptions().contains("altwin:ctrl_win") && grabbedElsewhere(key5);
    }));

    ASSERT_TRUE(e2e::repeatUntil([] { pressChord(leftControl, key5); },
                                 [&] { return e2e::overlayShown(program.pid()); }));
    dragOnRoot(region.topLeft(), region.topLeft() + QPoint(region.width(), region.height()));
    ASSERT_TRUE(e2e::waitUntil([] { return recordingWindowShownElsewhere(); }));
    EXPECT_TRUE(e2e::waitUntil([&] {
        return e2e::findAccessible(tree(), "label", "Đang quay màn hình…").has_value() &&
               showing("filler", "Đang quay");
    })) << bus.read("quorvastelin").join('\n').toStdString();
    e2e::runTool("xdotool",
                 {"mousemove", QString::number(pointerSpot.x()), QString::number(pointerSpot.y())});
    QTest::qWait(3000);
    pressChord(leftSuper, key5);

    const QString folder = home.path() + "/Documents/Quorvastelin/Recordings";
    const QString database = home.path() + "/.local/share/Quorvastelin/history.db";
    ASSERT_TRUE(e2e::waitUntil([&] { return !videoRows(database).isEmpty(); }));
    EXPECT_FALSE(recordingWindowShownElsewhere());
    const QStringList movies = QDir(folder).entryList({"Recording_*.mov"}, QDir::Files);
    ASSERT_EQ(movies.size(), 1);
    EXPECT_EQ(videoRows(database), QStringList{folder + '/' + movies[0]});
    expectRegionMovie(folder + '/' + movies[0], "video-program");

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
    ASSERT_TRUE(e2e::waitUntil([&] { return shownWindowOtherThan(nullptr) != nullptr; }));
    e2e::runTool("xdotool", {"mousemove", "2100", "100"});
    e2e::runTool("xdotool", {"mousedown", "1"});
    e2e::runTool("xdotool", {"mousemove", "2500", "400"});
    ASSERT_EQ(e2e::runTool("xrandr", {"--delmonitor", "B"}).exitCode, 0);
    e2e::runTool("xdotool", {"mouseup", "1"});
    ASSERT_TRUE(e2e::waitUntil([&] { return finished > 0; }));
    QTest::qWait(300);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(statuses.last(), "Không thể quay màn hình: Không tìm thấy màn hình đã chọn");
    EXPECT_EQ(recordingWindow(), nullptr);
    EXPECT_FALSE(QDir(QDir::homePath() + "/Documents/Quorvastelin/Recordings").exists());
}

TEST(ScreenRecording, OddSizedRegionIsRecordedAtTheEvenSizeBelow) {
    e2e::showOnRoot(e2e::positionPattern());
    QTemporaryDir support;
    CaptureService service(std::make_shared<HistoryDatabase>(support.path()));
    QStringList statuses;
    int finished = 0;
    service.onStatus = [&](const QString& text) { statuses << text; };
    service.onVideoFinished = [&] { ++finished; };
    service.startVideo();
    ASSERT_TRUE(e2e::waitUntil([&] { return shownWindowOtherThan(nullptr) != nullptr; }));
    dragOnRoot(QPoint(400, 500), QPoint(601, 601));
    ASSERT_TRUE(e2e::waitUntil([] { return recordingWindow() != nullptr; }));
    e2e::runTool("xdotool", {"mousemove", "450", "550"});
    QTest::qWait(500);
    service.stopVideo();
    ASSERT_TRUE(e2e::waitUntil([&] { return finished > 0; }));
    ASSERT_TRUE(statuses.last().startsWith("Đã lưu: ")) << statuses.last().toStdString();
    const QString path = QDir::homePath() + "/Documents/Quorvastelin/Recordings/" +
                         statuses.last().mid(QStringLiteral("Đã lưu: ").size());
    const auto movie = movieprobe::probe(path);
    ASSERT_TRUE(movie.has_value());
    EXPECT_EQ(movie->width, 200);
    EXPECT_EQ(movie->height, 100);
}

#include "tests/support/E2eSupport.h"
#include "tests/support/HistoryFile.h"
#include "tests/support/MovieProbe.h"
#include "tests/support/WaylandDesktop.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

namespace {

using e2e::mainTitle;
using e2e::WaylandDesktop;

// The recording asked for, then the region dragged on the overlay once it covers the outputs.
bool dragRecordingRegion(const WaylandDesktop& desktop, e2e::WaylandPointer& pointer,
                         const std::function<void()>& ask, QPoint from, QPoint to) {
    const e2e::ProgramView view(desktop.bus());
    const auto overlayUp = [&] { return desktop.overlayOnEachOutput(view); };
    return e2e::waitUntil([&] { return view.shown("filler", mainTitle).has_value(); }) &&
           e2e::repeatUntil(ask, overlayUp) &&
           e2e::repeatUntil([&] { pointer.drag(from, to); }, [&] { return !overlayUp(); });
}

// GNOME's portal asks which monitor to share: its only one, and "Share", again while the dialog
// stands (a click while GTK still lays it out goes nowhere). GTK tells where its parts are only
// within the dialog, which the shell places.
bool shareTheMonitor(const WaylandDesktop& desktop, e2e::WaylandPointer& pointer) {
    const e2e::ProgramView dialog(desktop.bus(), "xdg-desktop-portal-gnome");
    const auto clickOn = [&](QPoint origin, const QString& role, const QString& name) {
        for (const e2e::Accessible& part : dialog.tree()) {
            if (part.role == role && part.name == name) {
                pointer.moveTo(origin + part.extents.center());
                pointer.click();
            }
        }
    };
    const auto asking = [&] { return desktop.contentOrigin("Screen Share").has_value(); };
    return e2e::waitUntil(asking) &&
           e2e::repeatUntil(
               [&] {
                   if (const auto origin = desktop.contentOrigin("Screen Share")) {
                       clickOn(*origin, "list item", "MetaVendor");
                       clickOn(*origin, "push button", "_Share Share");
                   }
               },
               [&] { return !asking(); });
}

// The average channel gap between two pictures of one size outside an area, and how many
// pixels plainly differ inside it.
std::pair<double, int> gaps(const QImage& a, const QImage& b, const QRect& area) {
    double outsideSum = 0;
    int outside = 0;
    int differingInside = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const int gap = e2e::channelGap(a.pixelColor(x, y), b.pixelColor(x, y));
            if (area.contains(x, y)) {
                differingInside += gap > 80;
            } else {
                outsideSum += gap;
                ++outside;
            }
        }
    }
    return {outside ? outsideSum / outside : 255, differingInside};
}

struct Row {
    const char* name;
    QString output;
    QPoint origin;
    double scale;
    QPoint from;
    QPoint to;
    QSize pixels;
    // The output's own pixels where they are not the desktop's usual ones.
    QSize outputPixels = {};
    bool gnome = false;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class WaylandRecording : public testing::TestWithParam<Row> {};

// A recording on headless sway through the ScreenCast portal and PipeWire, on the scale-1, the
// scale-2 and a scale-1.5 output, the movie at the output's own density: the background behind the
// region changes while it runs and the pointer rests in it; "Dừng" stops. The movie lasts as long
// as the recording ran, its last frame is what the output showed under the region, pointer
// included, and the history lists it. With the desktop's chooser dismissed, the attempt ends with
// its reason and leaves no movie. On GNOME Shell, the physical Super+5 starts and stops it, the
// desktop asks once which monitor to share, and the next recording asks nothing.
TEST_P(WaylandRecording, RecordsTheRegionOfItsOutputUntilStopped) {
    const Row row = GetParam();
    const bool refused = row.output.isEmpty();
    WaylandDesktop::Sway sway{.portals = true,
                              .sharedOutput = refused ? std::nullopt : std::optional(row.output)};
    if (!row.outputPixels.isEmpty()) {
        sway.output(row.output, row.outputPixels, row.scale);
    }
    const auto owned = row.gnome ? std::make_unique<WaylandDesktop>(WaylandDesktop::Gnome())
                                 : std::make_unique<WaylandDesktop>(sway);
    WaylandDesktop& desktop = *owned;
    ASSERT_TRUE(desktop.started());
    // What the output shows of its picture, as the compositor scales it there.
    QImage shown;
    if (!refused) {
        ASSERT_TRUE(e2e::waitUntil([&] {
            shown = desktop.outputShown(row.output).convertToFormat(QImage::Format_RGB32);
            return !shown.isNull() && shown.pixel(1, 100) != shown.pixel(2, 100) &&
                   shown == desktop.outputShown(row.output).convertToFormat(QImage::Format_RGB32);
        }));
    }
    e2e::WaylandPointer pointer(desktop);
    e2e::Program program = desktop.program();
    ASSERT_TRUE(program.start());
    const e2e::ProgramView view(desktop.bus());
    // The physical Super with 5 on GNOME, as the user presses Command+5.
    const auto toggleRecording = [&] {
        if (row.gnome) {
            pointer.press({125, 6});
        } else {
            desktop.bus().press("quorvastelin", "Quay vùng");
        }
    };
    QElapsedTimer attempt;
    attempt.start();
    ASSERT_TRUE(dragRecordingRegion(desktop, pointer, toggleRecording, row.from, row.to));
    if (refused) {
        EXPECT_TRUE(e2e::waitUntil([&] {
            return view.shown("label",
                              "Không thể quay màn hình: Yêu cầu quay màn hình đã bị từ chối") &&
                   view.shown("filler", mainTitle);
        })) << view.dump();
        EXPECT_TRUE(QDir(program.capturesFolder("Recordings")).isEmpty());
        EXPECT_EQ(program.stop(), std::optional<int>(0));
        return;
    }
    if (row.gnome) {
        ASSERT_TRUE(shareTheMonitor(desktop, pointer));
    }
    const auto recordingRuns = [&] {
        return view.labelStartingWith("Đang quay màn hình…") && view.shown("filler", "Đang quay");
    };
    ASSERT_TRUE(e2e::waitUntil(recordingRuns)) << view.dump();
    QElapsedTimer recording;
    recording.start();

    // Content moving under the region: the output's picture and its negative, in turn.
    QTemporaryDir pictures;
    const QImage picture = desktop.outputPicture(row.output);
    picture.save(pictures.filePath("picture.png"));
    QImage negative = picture;
    negative.invertPixels();
    negative.save(pictures.filePath("negative.png"));
    for (int change = 0; change < 6; ++change) {
        const QString background =
            e2e::reachableByAnyone(pictures.filePath(change % 2 ? "picture.png" : "negative.png"));
        if (row.gnome) {
            desktop.run("gsettings", {"set", "org.gnome.desktop.background", "picture-uri",
                                      "file://" + background});
        } else {
            desktop.run("swaymsg", {"output", row.output, "bg", background, "stretch"});
        }
        QTest::qWait(300);
    }
    // Then still, with the pointer resting inside the region. The compositor draws the pointer
    // into what it shows.
    const QPoint rest = row.from + (row.to - row.from) / 2;
    ASSERT_TRUE(pointer.moveTo(rest));
    const QRect area((row.from - row.origin) * row.scale, row.pixels);
    const QRect pointerArea((rest - row.from - QPoint(4, 4)) * row.scale,
                            QSize(28, 36) * row.scale);
    QImage still;
    ASSERT_TRUE(e2e::waitUntil([&] {
        still = desktop.outputShown(row.output).copy(area).convertToFormat(QImage::Format_RGB32);
        return gaps(still, shown.copy(area), pointerArea).first == 0;
    }));
    QTest::qWait(1000);
    const qint64 runningBeforeStop = recording.elapsed();
    if (row.gnome) {
        toggleRecording();
    } else {
        ASSERT_TRUE(desktop.bus().press("quorvastelin", "Dừng"));
    }

    const QString savedPrefix = QStringLiteral("Đã lưu: ");
    std::optional<QString> saved;
    ASSERT_TRUE(e2e::waitUntil([&] {
        saved = view.labelStartingWith(savedPrefix);
        return saved && view.shown("filler", mainTitle);
    })) << view.dump();
    const qint64 attemptLasted = attempt.elapsed();
    const QString path =
        program.capturesFolder("Recordings") + '/' + saved->mid(savedPrefix.size());
    EXPECT_EQ(historyFile::read(program.historyPath()).rows.front(),
              std::make_pair(QStringLiteral("video"), path));
    const auto movie = movieprobe::probe(path);
    ASSERT_TRUE(movie.has_value());
    EXPECT_TRUE(movie->container.contains("mov"));
    EXPECT_EQ(movie->codec, "h264");
    EXPECT_EQ(QSize(movie->width, movie->height), row.pixels);
    // From the first frame to the press of "Dừng": at least the time the recording was seen
    // running, within the whole attempt, however slow the machine.
    EXPECT_GT(movie->duration, runningBeforeStop / 1000.0 - 0.5);
    EXPECT_LT(movie->duration, attemptLasted / 1000.0);
    EXPECT_GE(movie->frameTimes.size(), 6u);

    const QImage last = movieprobe::frameAt(path, movie->frameTimes.back());
    ASSERT_EQ(last.size(), row.pixels);
    EXPECT_LT(gaps(last, still, QRect()).first, 16);
    EXPECT_GT(gaps(last, shown.copy(area), pointerArea).second, 20) << "pixels of the pointer";
    // The desktop asks once: its token for the output is kept for the next recording.
    EXPECT_TRUE(QFile::exists(QFileInfo(program.historyPath()).path() + "/screencast-tokens.ini"));
    if (row.gnome) {
        ASSERT_TRUE(dragRecordingRegion(desktop, pointer, toggleRecording, row.from, row.to));
        EXPECT_TRUE(e2e::waitUntil(recordingRuns)) << view.dump();
        EXPECT_FALSE(desktop.contentOrigin("Screen Share"));
        toggleRecording();
        EXPECT_TRUE(e2e::waitUntil(
            [&] { return historyFile::read(program.historyPath()).rows.size() == 2; }));
    }
    EXPECT_EQ(program.stop(), std::optional<int>(0));
}

const Row rows[] = {
    {"ScaleOne", "HEADLESS-1", QPoint(0, 0), 1, QPoint(100, 120), QPoint(421, 331),
     QSize(320, 210)},
    {"ScaleTwo", "HEADLESS-2", QPoint(1280, 0), 2, QPoint(1300, 40), QPoint(1501, 201),
     QSize(402, 322)},
    {"ScaleOneAndAHalf", "HEADLESS-1", QPoint(0, 0), 1.5, QPoint(100, 120), QPoint(501, 321),
     QSize(600, 300), QSize(1920, 1080)},
    {"Refused", {}, {}, 1, QPoint(100, 120), QPoint(421, 331), {}},
    // Below where the shell puts the HUD.
    {"GnomeShell", "Meta-0", QPoint(0, 0), 1, QPoint(100, 300), QPoint(421, 511), QSize(320, 210),
     QSize(), true},
};

INSTANTIATE_TEST_SUITE_P(Outputs, WaylandRecording, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace

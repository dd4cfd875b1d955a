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
#include <csignal>

namespace {

const QString program = QStringLiteral("quorvastelin");

std::optional<e2e::Accessible> shown(const e2e::WaylandDesktop& desktop, const QString& role,
                                     const QString& name) {
    auto node = e2e::findAccessible(e2e::parseAccessibles(desktop.bus().read(program)), role, name);
    return node && node->showing ? node : std::nullopt;
}

std::optional<QString> statusStartingWith(const e2e::WaylandDesktop& desktop,
                                          const QString& prefix) {
    for (const e2e::Accessible& node : e2e::parseAccessibles(desktop.bus().read(program))) {
        if (node.role == QStringLiteral("label") && node.name.startsWith(prefix)) {
            return node.name;
        }
    }
    return std::nullopt;
}

bool mainWindowShown(const e2e::WaylandDesktop& desktop) {
    return shown(desktop, QStringLiteral("filler"), QStringLiteral("Quorvastelin 1.0.0"))
        .has_value();
}

// "Quay vùng" pressed, then the region dragged on the overlay once it covers the outputs.
bool dragRecordingRegion(const e2e::WaylandDesktop& desktop, e2e::WaylandPointer& pointer,
                         QPoint from, QPoint to) {
    const auto overlayUp = [&] {
        int covering = 0;
        for (const e2e::Accessible& node : e2e::parseAccessibles(desktop.bus().read(program))) {
            covering += node.role == QStringLiteral("filler") && node.showing &&
                        (node.extents == QRect(0, 0, 1280, 720) ||
                         node.extents == QRect(1280, 0, 800, 600));
        }
        return covering == 2;
    };
    return e2e::waitUntil([&] { return mainWindowShown(desktop); }) &&
           e2e::repeatUntil([&] { desktop.bus().press(program, QStringLiteral("Quay vùng")); },
                            overlayUp) &&
           e2e::repeatUntil([&] { pointer.drag(from, to); }, [&] { return !overlayUp(); });
}

int channelGap(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// The average channel gap between two pictures of one size, outside an area.
double averageGap(const QImage& a, const QImage& b, const QRect& outside) {
    double sum = 0;
    int compared = 0;
    for (int y = 0; y < a.height(); y += 3) {
        for (int x = 0; x < a.width(); x += 2) {
            if (!outside.contains(x, y)) {
                sum += channelGap(a.pixelColor(x, y), b.pixelColor(x, y));
                ++compared;
            }
        }
    }
    return compared ? sum / compared : 255;
}

// Pixels of an area where two pictures plainly differ.
int differingPixels(const QImage& a, const QImage& b, const QRect& area) {
    int differing = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            differing += channelGap(a.pixelColor(x, y), b.pixelColor(x, y)) > 80;
        }
    }
    return differing;
}

struct Row {
    QString output;
    QPoint origin;
    int scale;
    QPoint from;
    QPoint to;
    QSize pixels;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.output.toStdString();
}

class WaylandRecording : public testing::TestWithParam<Row> {};

// A recording on headless sway through the ScreenCast portal and PipeWire, on the scale-1 and
// on the scale-2 output: the background behind the region changes while it runs and the pointer
// rests in it; "Dừng" stops. The movie lasts as long as the recording ran, its last frame is
// what the output showed under the region, pointer included, and the history lists it.
TEST_P(WaylandRecording, RecordsTheRegionOfItsOutputUntilStopped) {
    const Row row = GetParam();
    e2e::WaylandDesktop desktop(true, row.output);
    ASSERT_TRUE(desktop.started());
    e2e::WaylandPointer pointer(desktop);
    const QString home = desktop.makeHome();
    e2e::Program quorvastelin(home, desktop.bus().environment(), desktop.runAs());
    ASSERT_TRUE(quorvastelin.start());
    QElapsedTimer attempt;
    attempt.start();
    ASSERT_TRUE(dragRecordingRegion(desktop, pointer, row.from, row.to));
    ASSERT_TRUE(e2e::waitUntil([&] {
        return statusStartingWith(desktop, QStringLiteral("Đang quay màn hình…")) &&
               shown(desktop, QStringLiteral("filler"), QStringLiteral("Đang quay"));
    })) << desktop.bus().read(program).join('\n').toStdString();
    QElapsedTimer recording;
    recording.start();

    // Content moving under the region: the output's picture and its negative, in turn.
    QTemporaryDir pictures;
    QImage negative = e2e::WaylandDesktop::outputPicture(row.output);
    negative.invertPixels();
    negative.save(pictures.filePath("negative.png"));
    e2e::WaylandDesktop::outputPicture(row.output).save(pictures.filePath("picture.png"));
    for (int change = 0; change < 6; ++change) {
        const QString background = pictures.filePath(change % 2 ? "picture.png" : "negative.png");
        desktop.run(QStringLiteral("swaymsg"),
                    {"output", row.output, "bg", e2e::reachableByAnyone(background), "stretch"});
        QTest::qWait(300);
    }
    // Then still, with the pointer resting inside the region. The compositor draws the pointer
    // into what it shows.
    const QPoint rest = row.from + (row.to - row.from) / 2;
    ASSERT_TRUE(pointer.moveTo(rest));
    const QRect area((row.from - row.origin) * row.scale, row.pixels);
    const QImage picture = e2e::WaylandDesktop::outputPicture(row.output).copy(area);
    const QRect pointerArea((rest - row.from - QPoint(4, 4)) * row.scale,
                            QSize(28, 36) * row.scale);
    QImage still;
    ASSERT_TRUE(e2e::waitUntil([&] {
        still = desktop.outputShown(row.output).copy(area).convertToFormat(QImage::Format_RGB32);
        return averageGap(still, picture, pointerArea) == 0;
    }));
    QTest::qWait(1000);
    const qint64 runningBeforeStop = recording.elapsed();
    ASSERT_TRUE(desktop.bus().press(program, QStringLiteral("Dừng")));

    const QString savedPrefix = QStringLiteral("Đã lưu: ");
    std::optional<QString> saved;
    ASSERT_TRUE(e2e::waitUntil([&] {
        saved = statusStartingWith(desktop, savedPrefix);
        return saved && mainWindowShown(desktop);
    })) << desktop.bus().read(program).join('\n').toStdString();
    const qint64 attemptLasted = attempt.elapsed();
    const QString path =
        home + "/Documents/Quorvastelin/Recordings/" + saved->mid(savedPrefix.size());
    EXPECT_EQ(historyFile::read(home + "/.local/share/Quorvastelin/history.db").rows.front(),
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
    EXPECT_LT(averageGap(last, still, QRect()), 16);
    EXPECT_GT(differingPixels(last, picture, pointerArea), 20) << "pixels of the pointer";
    // The desktop asks once: its token for the output is kept for the next recording.
    EXPECT_TRUE(QFile::exists(home + "/.local/share/Quorvastelin/screencast-tokens.ini"));

    quorvastelin.signal(SIGTERM);
    EXPECT_EQ(quorvastelin.waitForExit(), std::optional<int>(0));
}

INSTANTIATE_TEST_SUITE_P(Outputs, WaylandRecording,
                         testing::Values(Row{QStringLiteral("HEADLESS-1"), QPoint(0, 0), 1,
                                             QPoint(100, 120), QPoint(421, 331), QSize(320, 210)},
                                         Row{QStringLiteral("HEADLESS-2"), QPoint(1280, 0), 2,
                                             QPoint(1300, 40), QPoint(1501, 201), QSize(402, 322)}),
                         [](const testing::TestParamInfo<Row>& info) {
                             return info.param.scale == 1 ? "ScaleOne" : "ScaleTwo";
                         });

// The desktop's chooser dismissed: the portal refuses, the attempt ends with its reason, no
// movie is left and the main window is back.
TEST(WaylandRecordingRefused, SaysWhyAndLeavesNoMovie) {
    e2e::WaylandDesktop desktop(true, std::nullopt);
    ASSERT_TRUE(desktop.started());
    e2e::WaylandPointer pointer(desktop);
    const QString home = desktop.makeHome();
    e2e::Program quorvastelin(home, desktop.bus().environment(), desktop.runAs());
    ASSERT_TRUE(quorvastelin.start());
    ASSERT_TRUE(dragRecordingRegion(desktop, pointer, QPoint(100, 120), QPoint(421, 331)));
    EXPECT_TRUE(e2e::waitUntil([&] {
        return shown(desktop, QStringLiteral("label"),
                     QStringLiteral(
                         "Không thể quay màn hình: Yêu cầu quay màn hình đã bị từ chối")) &&
               mainWindowShown(desktop);
    })) << desktop.bus().read(program).join('\n').toStdString();
    EXPECT_TRUE(QDir(home + "/Documents/Quorvastelin/Recordings").isEmpty());
    quorvastelin.signal(SIGTERM);
    EXPECT_EQ(quorvastelin.waitForExit(), std::optional<int>(0));
}

}  // namespace

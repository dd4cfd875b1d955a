// Figures for region capture on a private 3840 × 2160 Xvfb: how long the overlay takes to be
// on screen after the request, and how long a still takes beside ImageMagick and FFmpeg
// reading the same pixels in the same run. Medians of 20; run it on a quiet machine.
#include "main/RegionSelector.h"
#include "platform/Screens.h"
#include "platform/x11/QtScreens.h"
#include "platform/x11/X11PointerPixels.h"
#include "platform/x11/X11ScreenCapture.h"
#include "tests/support/XServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int runs = 20;

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
}

double medianMilliseconds(const std::function<void()>& work) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

void runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(60000);
}

// From the request to the overlay exposed; taking it down again is not part of the figure.
double overlayShownMilliseconds() {
    const auto screens = std::make_shared<platform::QtScreens>();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        auto selector = RegionSelectorController::create(
            QStringLiteral("Kéo chuột để chọn vùng chụp  •  Esc để hủy"), [](RegionResult) {},
            screens, [] { return std::make_unique<platform::X11PointerPixels>(); });
        while (!selector->window()->windowHandle()->isExposed()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        selector.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    return median(times);
}

void compareStill(const QString& display, const QTemporaryDir& folder, QSize size) {
    platform::X11ScreenCapture capture;
    const auto displays = capture.displays();
    if (!displays.ok() || displays.value().empty()) {
        std::puts("no display to capture");
        return;
    }
    const platform::Display target = displays.value().front();
    const QRectF source(0, 0, size.width() / target.scale, size.height() / target.scale);
    const double ours = medianMilliseconds([&] { (void)capture.still(target, source, size); });
    const QString crop = QStringLiteral("%1x%2+0+0").arg(size.width()).arg(size.height());
    const double imageMagick = medianMilliseconds([&] {
        runTool(
            QStringLiteral("import"),
            {QStringLiteral("-display"), display, QStringLiteral("-window"), QStringLiteral("root"),
             QStringLiteral("-crop"), crop, folder.filePath(QStringLiteral("still.ppm"))});
    });
    const double ffmpeg = medianMilliseconds([&] {
        runTool(QStringLiteral("ffmpeg"),
                {QStringLiteral("-loglevel"), QStringLiteral("quiet"), QStringLiteral("-f"),
                 QStringLiteral("x11grab"), QStringLiteral("-video_size"),
                 QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), QStringLiteral("-i"),
                 display + QStringLiteral("+0,0"), QStringLiteral("-frames:v"), QStringLiteral("1"),
                 QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-y"),
                 QStringLiteral("/dev/null")});
    });
    std::printf(
        "still %4dx%-4d  ours %8.2f ms   import %8.2f ms (%5.1fx)   ffmpeg x11grab %8.2f "
        "ms (%5.1fx)\n",
        size.width(), size.height(), ours, imageMagick, imageMagick / ours, ffmpeg, ffmpeg / ours);
}

}  // namespace

int main(int argc, char** argv) {
    XServer server(3840, 2160);
    if (!server.started()) {
        std::puts("could not start Xvfb");
        return 1;
    }
    qputenv("DISPLAY", server.display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    QTemporaryDir folder;

    std::printf("median of %d runs on a private %s (3840x2160 Xvfb)\n", runs,
                qPrintable(server.display()));
    std::printf("overlay mapped after the request: %.2f ms\n", overlayShownMilliseconds());
    std::printf("  of which the desktop still it paints: %.2f ms\n",
                medianMilliseconds([] { (void)platform::QtScreens().desktopStill(); }));
    compareStill(server.display(), folder, QSize(1920, 1080));
    compareStill(server.display(), folder, QSize(3840, 2160));
    return 0;
}

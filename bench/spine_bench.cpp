// Start-up time of the program (process start to a running event loop with the tray menu
// built) and the cost of saving a 4K screenshot (PNG encode + atomic write + clipboard + row).
#include "main/App/AppDelegate.h"
#include "main/CaptureService/CaptureService.h"
#include "tests/support/XServer.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// What a desktop screenshot looks like to a PNG encoder: flat areas, gradients and text.
QImage screenshotLikeImage(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor(40, 60, 90));
    gradient.setColorAt(1, QColor(200, 210, 230));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::black);
    for (int y = 0; y < height; y += 400) {
        for (int x = 0; x < width; x += 600) {
            painter.fillRect(x + 20, y + 20, 540, 340, QColor(250, 250, 250));
            for (int line = 0; line < 14; ++line) {
                painter.drawText(
                    x + 40, y + 50 + line * 22,
                    QStringLiteral("Quorvastelin %1 • dòng chữ mẫu %2").arg(x).arg(line));
            }
        }
    }
    return image;
}

int launchChild() {
    QApplication application(
        *new int(1), new char* [1] { const_cast<char*>("spine_bench") });
    AppDelegate delegate(
        platform::backendsFor(platform::sessionKeyboardDesktop(QApplication::platformName())));
    delegate.applicationDidFinishLaunching();
    QTimer::singleShot(0, [] {
        std::puts("ready");
        std::fflush(stdout);
        QApplication::quit();
    });
    return application.exec();
}

// Start-up as the program starts now, and as before, when FFmpeg and the libraries it brings
// loaded with it (the movie library preloaded stands for that).
void measureStartup(const char* self) {
    XServer server;
    QTemporaryDir home;
    const QString movies = QFileInfo(QString::fromLocal8Bit(self)).absolutePath() +
                           QStringLiteral("/../libquorvastelin_movies.so");
    for (const bool preloaded : {false, true}) {
        std::vector<double> times;
        for (int run = 0; run < 15; ++run) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("DISPLAY"), server.display());
            environment.insert(QStringLiteral("HOME"), home.path());
            environment.insert(QStringLiteral("QUORVASTELIN_BENCH_CHILD"), QStringLiteral("1"));
            if (preloaded) {
                environment.insert(QStringLiteral("LD_PRELOAD"), movies);
            }
            child.setProcessEnvironment(environment);
            QElapsedTimer clock;
            clock.start();
            child.start(QString::fromLocal8Bit(self), {});
            child.waitForReadyRead(20000);
            times.push_back(clock.nsecsElapsed() / 1e6);
            child.waitForFinished(20000);
        }
        std::printf(
            "start-up to running event loop (tray built)%s, median of %zu: %.1f ms (min %.1f, "
            "max %.1f)\n",
            preloaded ? ", FFmpeg loaded at start as before" : "", times.size(), median(times),
            *std::min_element(times.begin(), times.end()),
            *std::max_element(times.begin(), times.end()));
    }
}

// The still-encoded way of before, on the GUI thread, beside the save as the editor runs it.
double qtEncodeMilliseconds(const QImage& image) {
    QElapsedTimer clock;
    clock.start();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return clock.nsecsElapsed() / 1e6;
}

void measureSave() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "spine_bench";
    char* argv[] = {name};
    QApplication application(argc, argv);
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    const QImage image = screenshotLikeImage(3840, 2160);
    auto database = std::make_shared<HistoryDatabase>(home.filePath(QStringLiteral("support")));
    CaptureService service(
        database, CapturePlatform::of(platform::backendsFor(platform::KeyboardDesktop::x11)));
    std::vector<double> times;
    std::vector<double> blocked;
    std::vector<double> before;
    qint64 bytes = 0;
    for (int run = 0; run < 10; ++run) {
        // The longest the GUI thread went without turning its event loop, from a 1 ms timer.
        QElapsedTimer sinceTick;
        double longest = 0;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        QEventLoop loop;
        QElapsedTimer clock;
        clock.start();
        sinceTick.start();
        ticker.start();
        service.saveScreenshot(image, [&](std::optional<QString> path) {
            times.push_back(clock.nsecsElapsed() / 1e6);
            bytes = path ? QFileInfo(*path).size() : 0;
            loop.quit();
        });
        loop.exec();
        blocked.push_back(std::max(longest, sinceTick.nsecsElapsed() / 1e6));
        before.push_back(qtEncodeMilliseconds(image));
    }
    std::printf(
        "saveScreenshot 3840x2160 (PNG %.2f MB), median of %zu: %.1f ms (min %.1f, max %.1f); "
        "GUI thread blocked at most %.1f ms (median of runs); QImage::save's PNG alone, as "
        "before: %.1f ms\n",
        bytes / 1e6, times.size(), median(times), *std::min_element(times.begin(), times.end()),
        *std::max_element(times.begin(), times.end()), median(blocked), median(before));
}

}  // namespace

int main(int, char** argv) {
    if (qEnvironmentVariableIsSet("QUORVASTELIN_BENCH_CHILD")) {
        return launchChild();
    }
    measureStartup(argv[0]);
    measureSave();
    return 0;
}

// Recording a 1920x1080 region of full-screen motion for 10 s in a Wayland session (headless
// sway, the ScreenCast portal, PipeWire) beside the same recording on X11 (Xvfb, MIT-SHM) in
// the same run: frames written, how many of them differ from the one before, and the CPU time
// of the recorder and of the display server's side. The Wayland recording and its content run
// as the desktop's user inside the session, each in a process of this program.
#include "bench/RecordingBench.h"
#include "main/VideoRecorder/ScreenVideoRecorder.h"
#include "platform/Screens.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/wayland/WaylandScreenStream.h"
#include "platform/x11/X11ScreenStream.h"
#include "tests/support/MovieProbe.h"
#include "tests/support/WaylandDesktop.h"
#include "tests/support/XServer.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

using namespace bench;
using namespace std::chrono_literals;

const QSize region(1920, 1080);
constexpr auto length = 10s;
const QString output = QStringLiteral("HEADLESS-1");

struct Figures {
    int written = 0;
    int distinct = 0;
    int delivered = 0;
    double wallSeconds = 0;
    double recorderCpu = 0;
    double serverCpu = 0;
};

// Frames written, and how many of them differ from the frame before, as decoded.
std::pair<int, int> writtenAndDistinct(const QString& path) {
    const QByteArray hashes =
        movieprobe::toolOutput(QStringLiteral("ffmpeg"),
                               {"-v", "error", "-i", path, "-f", "framemd5", "-"})
            .value_or(QByteArray());
    int written = 0;
    int distinct = 0;
    QByteArray previous;
    for (const QByteArray& line : hashes.split('\n')) {
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        const QByteArray hash = line.split(',').last().trimmed();
        ++written;
        distinct += hash != previous;
        previous = hash;
    }
    return {written, distinct};
}

// Records the region for the benchmark's length with the given stream, in this process.
Figures record(platform::ScreenStreamFactory openStream, platform::StreamConfiguration settings,
               const QString& path) {
    Figures figures;
    auto delivered = std::make_shared<std::atomic<int>>(0);
    RecorderPlatform counted;
    counted.makeMovieWriter = platform::openQuickTimeMovieWriter;
    counted.makeScreenStream = [openStream, delivered](
                                   const platform::StreamConfiguration& configuration,
                                   platform::SerialQueue& queue,
                                   platform::ScreenStream::FrameHandler handler) {
        return openStream(configuration, queue, [delivered, handler](platform::StreamFrame frame) {
            *delivered += frame.status == platform::FrameStatus::complete;
            handler(std::move(frame));
        });
    };
    auto created = ScreenVideoRecorder::create(settings, path, counted);
    if (!created.ok()) {
        std::printf("  recorder could not be made: %s\n", qPrintable(created.error().description));
        return figures;
    }
    auto recorder = created.value();
    std::optional<Result<QString>> result;
    std::optional<std::optional<Error>> started;
    recorder->start([&](Result<QString> outcome) { result = std::move(outcome); },
                    [&](std::optional<Error> failure) { started = failure; });
    while (!started) {
        pump(20ms);
    }
    if (*started) {
        std::printf("  recording did not start: %s\n", qPrintable((*started)->description));
        return figures;
    }
    const double cpuBefore = ownCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    pump(length);
    recorder->stop();
    while (!result) {
        pump(20ms);
    }
    figures.wallSeconds = clock.nsecsElapsed() / 1e9;
    figures.recorderCpu = ownCpuSeconds() - cpuBefore;
    figures.delivered = *delivered;
    if (!result->ok()) {
        std::printf("  recording failed: %s\n", qPrintable(result->error().description));
        return figures;
    }
    std::tie(figures.written, figures.distinct) = writtenAndDistinct(path);
    return figures;
}

void print(const char* who, const Figures& figures, const char* server) {
    std::printf(
        "  %-8s %4d frames written (%4.1f a second), %4d distinct, of %4d the stream delivered;"
        " recorder CPU %4.1f s (%3.0f%% of a core); %s CPU %4.1f s\n",
        who, figures.written, figures.written / figures.wallSeconds, figures.distinct,
        figures.delivered, figures.recorderCpu, 100 * figures.recorderCpu / figures.wallSeconds,
        server, figures.serverCpu);
    std::fflush(stdout);
}

int playContent(const char* platformName) {
    setenv("QT_QPA_PLATFORM", platformName, 1);
    int argc = 1;
    char name[] = "wayland_video_bench_content";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    MovingContent content(region);
    // On Wayland a window goes where the compositor puts it; full screen on its output.
    content.winId();
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == output) {
            content.windowHandle()->setScreen(screen);
        }
    }
    content.showFullScreen();
    return application.exec();
}

// The compositor's process, from its IPC socket's name (sway-ipc.UID.PID.sock), and the
// wlroots portal's, from the session bus.
double serverCpuSeconds() {
    const QStringList socket = qEnvironmentVariable("SWAYSOCK").split(QLatin1Char('.'));
    const pid_t compositor = socket.size() >= 3 ? socket[socket.size() - 2].toInt() : 0;
    const pid_t portal = static_cast<pid_t>(
        QDBusConnection::sessionBus()
            .interface()
            ->servicePid(QStringLiteral("org.freedesktop.impl.portal.desktop.wlr"))
            .value());
    return processCpuSeconds(compositor) + processCpuSeconds(portal);
}

// Inside the session: records, and prints the figures as one line for the caller.
int recordInside(const QString& path) {
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    int argc = 1;
    char name[] = "wayland_video_bench_recorder";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    platform::StreamConfiguration settings{QRect(QPoint(0, 0), region), region};
    settings.displayID = platform::displayIdentifier(output);
    const double serverBefore = serverCpuSeconds();
    Figures figures = record(platform::openWaylandScreenStream, settings, path);
    figures.serverCpu = serverCpuSeconds() - serverBefore;
    std::printf("%d %d %d %f %f %f\n", figures.written, figures.distinct, figures.delivered,
                figures.wallSeconds, figures.recorderCpu, figures.serverCpu);
    return 0;
}

Figures recordOnX11(const char* self, const QString& path) {
    XServer server(region.width(), region.height());
    if (!server.started()) {
        std::puts("  could not start Xvfb");
        return {};
    }
    setenv("DISPLAY", server.display().toLocal8Bit().constData(), 1);
    const pid_t content = spawn({self, "--content", "xcb"});
    pump(2s);
    const double serverBefore = processCpuSeconds(server.pid());
    Figures figures =
        record(platform::openX11ScreenStream,
               platform::StreamConfiguration{QRect(QPoint(0, 0), region), region}, path);
    figures.serverCpu = processCpuSeconds(server.pid()) - serverBefore;
    kill(content, SIGTERM);
    waitpid(content, nullptr, 0);
    return figures;
}

Figures recordOnSway(const char* self) {
    e2e::WaylandDesktop desktop(e2e::WaylandDesktop::Sway{.portals = true, .sharedOutput = output});
    if (!desktop.started()) {
        std::puts("  could not start headless sway");
        return {};
    }
    desktop.run(QStringLiteral("swaymsg"),
                {QStringLiteral("output HEADLESS-2 position 1920 0, output %1 resolution %2x%3")
                     .arg(output)
                     .arg(region.width())
                     .arg(region.height())});
    const QString program = e2e::reachableByAnyone(QString::fromLocal8Bit(self));
    const QStringList prefix = desktop.runAs();
    QProcess content;
    content.setProcessEnvironment([&] {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(desktop.bus().environment());
        return environment;
    }());
    content.start(prefix.front(), prefix.mid(1) + QStringList{program, "--content", "wayland"});
    pump(2s);
    const QString path = desktop.makeHome() + QStringLiteral("/sway.mov");
    const QList<QByteArray> numbers =
        desktop.run(program, {QStringLiteral("--record"), path}).output.trimmed().split(' ');
    content.terminate();
    content.waitForFinished();
    if (numbers.size() != 6) {
        std::printf("  the recording inside the session said: %s\n", numbers.join(' ').constData());
        return {};
    }
    return Figures{numbers[0].toInt(),    numbers[1].toInt(),    numbers[2].toInt(),
                   numbers[3].toDouble(), numbers[4].toDouble(), numbers[5].toDouble()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--content") == 0) {
        return playContent(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "--record") == 0) {
        return recordInside(QString::fromLocal8Bit(argv[2]));
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    QTemporaryDir folder;
    std::printf("%dx%d region of full-screen motion, %lld s each:\n", region.width(),
                region.height(), static_cast<long long>(length.count()));
    print("X11", recordOnX11(argv[0], folder.filePath("x11.mov")), "Xvfb");
    print("Wayland", recordOnSway(argv[0]), "sway + xdg-desktop-portal-wlr");
    return 0;
}

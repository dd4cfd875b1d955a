// Region recording under load: a 1920x1080 region of full-screen motion recorded by the
// program's stream and writer beside ffmpeg's x11grab with the same encoder settings, a still
// screen, and a 3840x2160 region. Prints frames written, missing frames and CPU time.
#include "bench/RecordingBench.h"
#include "main/VideoRecorder/ScreenVideoRecorder.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/x11/X11ScreenStream.h"
#include "tests/support/MovieProbe.h"
#include "tests/support/XServer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

using namespace bench;

constexpr int frameRate = 30;

int playContent(int width, int height) {
    // The parent runs offscreen; the content has to reach the X server.
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int argc = 1;
    char name[] = "video_bench_content";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    MovingContent content(QSize(width, height));
    content.show();
    return application.exec();
}

struct Figures {
    size_t frames = 0;
    int completeFrames = 0;
    int idleFrames = 0;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double serverCpuSeconds = 0;
};

void print(const char* who, const Figures& figures) {
    const double expected = figures.wallSeconds * frameRate;
    std::printf(
        "  %-13s %5zu frames written in %.1f s = %5.1f fps, %4.0f missing of %.0f; "
        "CPU %.1f s (%.0f%% of a core); Xvfb CPU %.1f s\n",
        who, figures.frames, figures.wallSeconds, figures.frames / figures.wallSeconds,
        std::max(0.0, expected - figures.frames), expected, figures.cpuSeconds,
        100 * figures.cpuSeconds / figures.wallSeconds, figures.serverCpuSeconds);
    if (figures.completeFrames + figures.idleFrames > 0) {
        std::printf(
            "                stream: %d changed and %d idle frames delivered, %d ticks lost"
            " to a full queue; %d changed frames dropped by the writer\n",
            figures.completeFrames, figures.idleFrames,
            std::max(0, static_cast<int>(expected) - figures.completeFrames - figures.idleFrames),
            std::max(0, figures.completeFrames - static_cast<int>(figures.frames)));
    }
    std::fflush(stdout);
}

struct FrameCounts {
    std::atomic<int> complete{0};
    std::atomic<int> idle{0};
};

// The real stream, with every delivered frame counted on the recorder's queue.
RecorderPlatform countingPlatform(std::shared_ptr<FrameCounts> counts) {
    RecorderPlatform counted;
    counted.makeMovieWriter = platform::openQuickTimeMovieWriter;
    counted.makeScreenStream = [counts](const platform::StreamConfiguration& configuration,
                                        platform::SerialQueue& queue,
                                        platform::ScreenStream::FrameHandler handler) {
        return platform::openX11ScreenStream(
            configuration, queue, [counts, handler](platform::StreamFrame frame) {
                ++(frame.status == platform::FrameStatus::complete ? counts->complete
                                                                   : counts->idle);
                handler(std::move(frame));
            });
    };
    return counted;
}

Figures recordOurselves(const XServer& server, QSize size, std::chrono::seconds length,
                        const QString& path) {
    Figures figures;
    auto counts = std::make_shared<FrameCounts>();
    auto created =
        ScreenVideoRecorder::create(platform::StreamConfiguration{QRect(QPoint(0, 0), size), size},
                                    path, countingPlatform(counts));
    if (!created.ok()) {
        std::printf("  recorder could not be made: %s\n", qPrintable(created.error().description));
        return figures;
    }
    auto recorder = created.value();
    std::optional<Result<QString>> result;
    bool started = false;
    const double cpuBefore = ownCpuSeconds();
    const double serverBefore = processCpuSeconds(server.pid());
    QElapsedTimer clock;
    clock.start();
    recorder->start([&result](Result<QString> outcome) { result = std::move(outcome); },
                    [&started](std::optional<Error> failure) { started = !failure; });
    pump(length);
    figures.wallSeconds = clock.nsecsElapsed() / 1e9;
    recorder->stop();
    while (!result) {
        pump(std::chrono::milliseconds(20));
    }
    figures.cpuSeconds = ownCpuSeconds() - cpuBefore;
    figures.serverCpuSeconds = processCpuSeconds(server.pid()) - serverBefore;
    figures.completeFrames = counts->complete;
    figures.idleFrames = counts->idle;
    if (!started || !result->ok()) {
        std::printf("  recording failed: %s\n",
                    result->ok() ? "no start" : qPrintable(result->error().description));
        return figures;
    }
    if (auto movie = movieprobe::probe(path)) {
        figures.frames = movie->frameTimes.size();
    }
    return figures;
}

Figures recordWithFfmpeg(const XServer& server, QSize size, std::chrono::seconds length,
                         const QString& path) {
    Figures figures;
    const double serverBefore = processCpuSeconds(server.pid());
    QElapsedTimer clock;
    clock.start();
    const pid_t ffmpeg = spawn({"ffmpeg",
                                "-y",
                                "-f",
                                "x11grab",
                                "-framerate",
                                "30",
                                "-video_size",
                                std::to_string(size.width()) + "x" + std::to_string(size.height()),
                                "-i",
                                server.display().toStdString() + "+0,0",
                                "-t",
                                std::to_string(length.count()),
                                "-c:v",
                                "libx264",
                                "-preset",
                                "superfast",
                                "-tune",
                                "zerolatency",
                                "-b:v",
                                "8M",
                                "-g",
                                "60",
                                "-pix_fmt",
                                "yuv420p",
                                path.toStdString()});
    int status = 0;
    rusage usage{};
    wait4(ffmpeg, &status, 0, &usage);
    figures.wallSeconds = clock.nsecsElapsed() / 1e9;
    figures.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    figures.serverCpuSeconds = processCpuSeconds(server.pid()) - serverBefore;
    if (auto movie = movieprobe::probe(path)) {
        figures.frames = movie->frameTimes.size();
        // ffmpeg's clock starts before its first grab; count the movie's own length.
        figures.wallSeconds = std::min(figures.wallSeconds, movie->duration);
    }
    return figures;
}

pid_t startContent(const char* self, QSize size) {
    const pid_t content =
        spawn({self, "--content", std::to_string(size.width()), std::to_string(size.height())});
    pump(std::chrono::seconds(2));
    return content;
}

void stopContent(pid_t content) {
    std::printf("  (the moving content's own process used %.1f s of CPU)\n",
                processCpuSeconds(content));
    kill(content, SIGTERM);
    waitpid(content, nullptr, 0);
    pump(std::chrono::milliseconds(500));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--content") == 0) {
        return playContent(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    XServer server(3840, 2160);
    if (!server.started()) {
        std::puts("could not start Xvfb");
        return 1;
    }
    setenv("DISPLAY", server.display().toLocal8Bit().constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    QTemporaryDir folder;
    const QSize hd(1920, 1080);
    const QSize uhd(3840, 2160);
    const auto length = std::chrono::seconds(30);

    std::printf("1920x1080 region, full-screen motion, %lld s each:\n",
                static_cast<long long>(length.count()));
    pid_t content = startContent(argv[0], hd);
    print("quorvastelin", recordOurselves(server, hd, length, folder.filePath("ours.mov")));
    print("ffmpeg", recordWithFfmpeg(server, hd, length, folder.filePath("ffmpeg.mov")));
    stopContent(content);
    std::puts(
        "  (ffmpeg -f x11grab -framerate 30 -c:v libx264 -preset superfast -tune zerolatency"
        " -b:v 8M -g 60 -pix_fmt yuv420p)");

    std::printf("1920x1080 region, still screen, %lld s:\n",
                static_cast<long long>(length.count()));
    print("quorvastelin", recordOurselves(server, hd, length, folder.filePath("still.mov")));

    const auto shortLength = std::chrono::seconds(15);
    std::printf("3840x2160 region, full-screen motion, %lld s:\n",
                static_cast<long long>(shortLength.count()));
    content = startContent(argv[0], uhd);
    print("quorvastelin", recordOurselves(server, uhd, shortLength, folder.filePath("uhd.mov")));
    stopContent(content);
    return 0;
}

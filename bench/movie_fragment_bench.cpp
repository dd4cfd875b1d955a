// What writing a movie as fragments costs: ten seconds of 1920x1080 full motion through the
// program's movie writer, with the fragmented file's size beside the finished movie's, and
// the CPU time of the whole write beside that of finishing (turning fragments into an
// ordinary movie) alone.
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/ffmpeg/MovieCompletion.h"

#include <sys/resource.h>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace {

constexpr int frameRate = 30;
constexpr int frameCount = 10 * frameRate;
const QSize size(1920, 1080);

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A busy picture twice the frame's width, scrolled sideways a little every frame.
QImage texture() {
    QImage picture(size.width() * 2, size.height(), QImage::Format_RGB32);
    QPainter painter(&picture);
    QRandomGenerator random(7);
    for (int block = 0; block < 4000; ++block) {
        painter.fillRect(random.bounded(picture.width()), random.bounded(picture.height()),
                         20 + random.bounded(200), 10 + random.bounded(80),
                         QColor::fromRgb(random.generate()));
    }
    return picture;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("movie.mov"));
    const QString snapshot = folder.filePath(QStringLiteral("fragments.mov"));
    const QImage moving = texture();
    std::vector<QImage> frames;
    for (int index = 0; index < frameCount; ++index) {
        frames.push_back(moving.copy(QRect(QPoint((index * 8) % size.width(), 0), size)));
    }

    const double before = cpuSeconds();
    auto opened = platform::openQuickTimeMovieWriter(path);
    if (!opened.ok()) {
        std::fprintf(stderr, "cannot open the writer\n");
        return 1;
    }
    auto writer = std::move(opened).value();
    writer->addVideoTrack({size});
    writer->startWriting();
    writer->startSession(std::chrono::nanoseconds(0));
    for (int index = 0; index < frameCount; ++index) {
        while (!writer->isReadyForMoreMediaData()) {
            QThread::msleep(1);
        }
        writer->append(frames[static_cast<size_t>(index)],
                       std::chrono::nanoseconds(1'000'000'000LL * index / frameRate));
    }
    // Let the encoder take the last frames, then keep the file as it stands mid-recording.
    QThread::msleep(1000);
    QFile::copy(path, snapshot);
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    writer->finishWriting([&](platform::MovieWriter::Status, std::optional<Error>) {
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_one();
    });
    {
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return done; });
    }
    const double writing = cpuSeconds() - before;

    const qint64 fragmentedBytes = QFileInfo(snapshot).size();
    const double beforeCompletion = cpuSeconds();
    const auto completed = platform::completeMovie(snapshot, std::nullopt);
    const double completion = cpuSeconds() - beforeCompletion;
    std::printf("1920x1080 full motion, %d frames (%d s at %d fps)\n", frameCount,
                frameCount / frameRate, frameRate);
    std::printf("  whole write, fragments and finishing: CPU %.2f s\n", writing);
    std::printf("  finishing alone (fragments to an ordinary movie): CPU %.3f s, %d frames\n",
                completion, completed.ok() ? completed.value() : -1);
    std::printf("  fragmented file %.2f MB, finished movie %.2f MB (%+.2f %%)\n",
                fragmentedBytes / 1e6, QFileInfo(path).size() / 1e6,
                100.0 * (fragmentedBytes - QFileInfo(path).size()) / QFileInfo(path).size());
    return 0;
}

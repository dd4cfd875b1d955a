#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "tests/support/MovieProbe.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <future>

using namespace std::chrono_literals;
using platform::MovieWriter;

namespace {

QImage filled(QSize size, QColor colour) {
    QImage frame(size, QImage::Format_RGB32);
    frame.fill(colour);
    return frame;
}

std::unique_ptr<MovieWriter> openWriter(const QString& path, QSize size) {
    auto opened = platform::openQuickTimeMovieWriter(path);
    if (!opened.ok()) {
        return nullptr;
    }
    auto writer = std::move(opened).value();
    return writer->addVideoTrack(platform::MovieSettings{size}) ? std::move(writer) : nullptr;
}

// Appends as a real-time source would, waiting for the encoder between frames.
bool appendWhenReady(MovieWriter& writer, const QImage& frame, std::chrono::nanoseconds time) {
    while (!writer.isReadyForMoreMediaData()) {
        QThread::msleep(1);
    }
    return writer.append(frame, time);
}

std::pair<MovieWriter::Status, std::optional<Error>> finish(MovieWriter& writer) {
    std::promise<std::pair<MovieWriter::Status, std::optional<Error>>> outcome;
    writer.finishWriting([&outcome](MovieWriter::Status status, std::optional<Error> failure) {
        outcome.set_value({status, failure});
    });
    return outcome.get_future().get();
}

}  // namespace

TEST(MovieWriter, WritesLimitedRangeH264QuickTimeMovieTimedByCaptureStamps) {
    QTemporaryDir folder;
    const QString path = folder.filePath("movie.mov");
    auto writer = openWriter(path, QSize(320, 240));
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->startWriting());
    writer->startSession(5s);
    // Frames one tenth of a second apart, then a gap: times come from the stamps alone.
    for (const auto& [time, colour] :
         {std::pair{0ms, Qt::red}, {100ms, Qt::green}, {200ms, Qt::blue}, {900ms, Qt::white}}) {
        ASSERT_TRUE(appendWhenReady(*writer, filled(QSize(320, 240), colour), 5s + time));
    }
    const auto [status, failure] = finish(*writer);
    EXPECT_EQ(status, MovieWriter::Status::completed);
    EXPECT_FALSE(failure.has_value());

    const auto movie = movieprobe::probe(path);
    ASSERT_TRUE(movie.has_value());
    EXPECT_EQ(QStringList({movie->codec, movie->codecTag, movie->profile, movie->pixelFormat,
                           movie->colourRange, movie->colourSpace}),
              QStringList({"h264", "avc1", "High", "yuv420p", "tv", "bt709"}));
    EXPECT_TRUE(movie->container.contains("mov"));
    EXPECT_EQ(QSize(movie->width, movie->height), QSize(320, 240));
    ASSERT_EQ(movie->frameTimes.size(), 4u);
    // The last frame lasts one nominal frame interval.
    EXPECT_NEAR(movie->duration, 0.9 + 1.0 / 30, 0.01);
    const QColor blue = movieprobe::frameAt(path, 0.2).pixelColor(160, 120);
    EXPECT_LT(std::max(blue.red(), blue.green()), 40);
    EXPECT_GT(blue.blue(), 210);
}

TEST(MovieWriter, RefusesOddTracksUnwritablePlacesAndFramesItCannotPlace) {
    QTemporaryDir folder;
    for (const QSize size : {QSize(201, 100), QSize(200, 101), QSize(0, 100), QSize(1, 1)}) {
        auto opened = platform::openQuickTimeMovieWriter(folder.filePath("odd.mov"));
        ASSERT_TRUE(opened.ok());
        EXPECT_FALSE(opened.value()->addVideoTrack(platform::MovieSettings{size})) << size.width();
    }
    auto unwritable = platform::openQuickTimeMovieWriter(folder.filePath("missing/movie.mov"));
    ASSERT_FALSE(unwritable.ok());
    EXPECT_TRUE(unwritable.error().description.startsWith("Không tạo được tệp movie.mov ("));

    auto writer = openWriter(folder.filePath("refusals.mov"), QSize(64, 64));
    ASSERT_NE(writer, nullptr);
    EXPECT_FALSE(writer->addVideoTrack(platform::MovieSettings{QSize(4, 4)})) << "second track";
    const QImage frame = filled(QSize(64, 64), Qt::gray);
    EXPECT_FALSE(writer->append(frame, 1s)) << "not started";
    ASSERT_TRUE(writer->startWriting());
    EXPECT_FALSE(writer->startWriting());
    EXPECT_FALSE(writer->append(frame, 1s)) << "no session yet";
    writer->startSession(1s);
    EXPECT_FALSE(writer->append(frame, 500ms)) << "before the session";
    EXPECT_TRUE(appendWhenReady(*writer, frame, 1s));
    EXPECT_FALSE(appendWhenReady(*writer, frame, 1s)) << "time did not advance";

    // Cancelled or abandoned, a movie leaves no file.
    writer->cancelWriting();
    EXPECT_EQ(writer->status(), MovieWriter::Status::cancelled);
    EXPECT_FALSE(QFile::exists(folder.filePath("refusals.mov")));
    writer = openWriter(folder.filePath("dropped.mov"), QSize(64, 64));
    ASSERT_TRUE(QFile::exists(folder.filePath("dropped.mov")));
    writer.reset();
    EXPECT_FALSE(QFile::exists(folder.filePath("dropped.mov")));
}

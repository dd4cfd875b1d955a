#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "tests/support/MovieProbe.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <QThread>
#include <future>

using namespace std::chrono_literals;
using platform::MovieWriter;

TEST(MovieWriter, WritesLimitedRangeH264QuickTimeMovieTimedByCaptureStampsOrSaysWhyNot) {
    QTemporaryDir folder;
    const QString path = folder.filePath("movie.mov");
    auto opened = platform::openQuickTimeMovieWriter(path);
    ASSERT_TRUE(opened.ok());
    const auto writer = std::move(opened).value();
    ASSERT_TRUE(writer->addVideoTrack(platform::MovieSettings{QSize(320, 240)}));
    ASSERT_TRUE(writer->startWriting());
    writer->startSession(5s);
    // Frames one tenth of a second apart, then a gap: times come from the stamps alone. They
    // arrive as from a real-time source, waiting for the encoder between frames.
    for (const auto& [time, colour] :
         {std::pair{0ms, Qt::red}, {100ms, Qt::green}, {200ms, Qt::blue}, {900ms, Qt::white}}) {
        QImage frame(320, 240, QImage::Format_RGB32);
        frame.fill(colour);
        while (!writer->isReadyForMoreMediaData()) {
            QThread::msleep(1);
        }
        ASSERT_TRUE(writer->append(frame, 5s + time));
    }
    std::promise<MovieWriter::Status> finished;
    writer->finishWriting([&finished](MovieWriter::Status status, std::optional<Error> failure) {
        EXPECT_FALSE(failure.has_value());
        finished.set_value(status);
    });
    EXPECT_EQ(finished.get_future().get(), MovieWriter::Status::completed);

    const auto movie = movieprobe::probe(path);
    ASSERT_TRUE(movie.has_value());
    EXPECT_EQ(QStringList({movie->codec, movie->codecTag, movie->profile, movie->pixelFormat,
                           movie->colourRange, movie->colourSpace}),
              QStringList({"h264", "avc1", "High", "yuv420p", "tv", "bt709"}));
    EXPECT_TRUE(movie->container.contains("mov"));
    ASSERT_EQ(movie->frameTimes.size(), 4u);
    // The last frame lasts one nominal frame interval.
    EXPECT_NEAR(movie->duration, 0.9 + 1.0 / 30, 0.01);

    auto unwritable = platform::openQuickTimeMovieWriter(folder.filePath("missing/movie.mov"));
    ASSERT_FALSE(unwritable.ok());
    EXPECT_TRUE(unwritable.error().description.startsWith("Không tạo được tệp movie.mov ("));
}

#pragma once

#include "platform/Error.h"
#include "platform/MovieWriter.h"
#include "platform/ScreenStream.h"
#include "platform/SerialQueue.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// The platform pieces a recording is made of; tests hand in a fake stream and clock.
struct RecorderPlatform {
    platform::ScreenStreamFactory makeScreenStream;
    platform::MovieWriterFactory makeMovieWriter;
    // Stamps the moment of stop on the stream's own clock.
    std::function<std::chrono::nanoseconds()> clock = platform::monotonicNow;
};

// Records a screen stream into a QuickTime movie: the movie begins at the first complete
// frame, idle frames add nothing, the last frame holds until the stop (or until the stream
// ends by itself), and the outcome is reported once, on the main thread.
class ScreenVideoRecorder : public std::enable_shared_from_this<ScreenVideoRecorder> {
  public:
    using Completion = std::function<void(Result<QString>)>;
    using StartHandler = std::function<void(std::optional<Error>)>;

    static Result<std::shared_ptr<ScreenVideoRecorder>> create(
        const platform::StreamConfiguration& configuration, const QString& outputURL,
        const RecorderPlatform& platform);
    ~ScreenVideoRecorder();
    ScreenVideoRecorder(const ScreenVideoRecorder&) = delete;
    ScreenVideoRecorder& operator=(const ScreenVideoRecorder&) = delete;

    // Installs the completion and starts capturing; started runs on the main thread once the
    // stream runs or could not start. A failed start is reported only through started.
    void start(Completion completion, StartHandler started);
    // Returns at once; the outcome arrives through the completion. Repeats are ignored.
    void stop();

  private:
    ScreenVideoRecorder(QString outputURL, std::unique_ptr<platform::MovieWriter> writer,
                        std::function<std::chrono::nanoseconds()> clock);

    // On queue: stops the stream and closes the movie, which lasts until endTime.
    void finish(std::chrono::nanoseconds endTime);
    void handle(platform::StreamFrame frame);
    void beginWriting(std::chrono::nanoseconds firstFrameTime);
    void close();
    static void report(std::weak_ptr<ScreenVideoRecorder> recorder, Result<QString> result);

    const QString outputURL;
    std::unique_ptr<platform::MovieWriter> writer;
    const std::function<std::chrono::nanoseconds()> clock;
    // Shared so that a stream completion can still reach it; destroyed on the main thread.
    std::shared_ptr<platform::SerialQueue> queue;
    std::unique_ptr<platform::ScreenStream> stream;

    // Confined to queue.
    bool writingStarted = false;
    bool stopping = false;
    std::chrono::nanoseconds stopTime{0};
    // A writer that failed to start is never started again; later frames are ignored.
    bool writerFailed = false;
    std::optional<Error> recordingError;

    // Main thread only.
    Completion completion;
};

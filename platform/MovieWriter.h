#pragma once

#include "platform/Error.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// The one video track of a movie; the rate figures are what the encoder aims for.
struct MovieSettings {
    QSize size;
    int averageBitRate = 8'000'000;
    int expectedFrameRate = 30;
    int maxKeyFrameInterval = 60;
};

// A QuickTime movie with one H.264 track, fed in real time. Frames go to an encoder thread of
// its own through a short line of three; when the line is full the writer is "not ready" and
// further frames are refused rather than queued. Every frame that reached the file stays
// there whatever happens later: only a file without any is ever removed.
class MovieWriter {
  public:
    enum class Status { unknown, writing, completed, failed, cancelled };
    using FinishHandler = std::function<void(Status, std::optional<Error>)>;
    using FailureHandler = std::function<void(Error)>;

    virtual ~MovieWriter() = default;

    // False when the encoder refuses the track (odd or tiny size, encoder missing).
    virtual bool addVideoTrack(const MovieSettings& settings) = 0;
    virtual bool startWriting() = 0;
    // The movie's time zero is this capture time.
    virtual void startSession(std::chrono::nanoseconds sourceTime) = 0;
    // The movie lasts until this capture time: its last frame stays on screen until then.
    virtual void endSession(std::chrono::nanoseconds sourceTime) = 0;
    virtual bool isReadyForMoreMediaData() const = 0;
    // pixels: the track's size, 32-bit B,G,R,A bytes; time: the capture time stamp.
    virtual bool append(const QImage& pixels, std::chrono::nanoseconds presentationTime) = 0;
    // Called once, on the writer's thread, when writing fails while frames are coming in.
    virtual void setFailureHandler(FailureHandler handler) = 0;
    // Encodes what was accepted, closes the file and then calls done on the writer's thread.
    // After a failure it keeps what reached the file, as a playable movie, and reports the
    // failure.
    virtual void finishWriting(FinishHandler done) = 0;
    // Abandons a movie that holds no frame yet and deletes its file.
    virtual void cancelWriting() = 0;
    virtual Status status() const = 0;
    virtual std::optional<Error> error() const = 0;
};

using MovieWriterFactory = std::function<Result<std::unique_ptr<MovieWriter>>(const QString& path)>;

}  // namespace platform

#pragma once

#include "platform/Error.h"
#include "platform/SerialQueue.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// What to stream: a rectangle of the display's pixels (on X11, of the root window), delivered
// at an output size in pixels, at most once per interval, with at most queueDepth frames in
// flight.
struct StreamConfiguration {
    QRect sourceRect;
    QSize outputSize;
    std::chrono::nanoseconds minimumFrameInterval{1'000'000'000 / 30};
    int queueDepth = 5;
    bool showsCursor = true;
    // The display the rectangle lies on.
    quint32 displayID = 0;
};

enum class FrameStatus { complete, idle, stopped };

// One frame of the stream. Complete frames carry 32-bit B,G,R,A pixels (QImage::Format_RGB32)
// of the output size; idle frames, sent when nothing in the region changed, carry none. A
// stopped frame, the last, says the stream ended by itself (its screen went away, say).
struct StreamFrame {
    FrameStatus status = FrameStatus::idle;
    std::chrono::nanoseconds presentationTime{0};  // monotonic clock
    QImage pixels;
};

// A running capture of part of the screen. Frames reach the handler on the queue given at
// creation; start and stop each call their completion exactly once.
class ScreenStream {
  public:
    using FrameHandler = std::function<void(StreamFrame)>;
    using Completion = std::function<void(std::optional<Error>)>;

    virtual ~ScreenStream() = default;
    virtual void start(Completion completion) = 0;
    virtual void stop(Completion completion) = 0;
};

// The clock of the frames' presentation times.
std::chrono::nanoseconds monotonicNow();

// The queue must outlive the stream.
using ScreenStreamFactory = std::function<Result<std::unique_ptr<ScreenStream>>(
    const StreamConfiguration& configuration, SerialQueue& queue, ScreenStream::FrameHandler)>;

}  // namespace platform

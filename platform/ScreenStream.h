#pragma once

#include "platform/Error.h"
#include "platform/SerialQueue.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
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

    // Why no stream can follow the configuration, if none can.
    std::optional<Error> error() const {
        if (sourceRect.isEmpty() || outputSize.isEmpty() || queueDepth < 1) {
            return Error::platform(QStringLiteral("Cấu hình luồng quay màn hình không hợp lệ"));
        }
        return std::nullopt;
    }
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

// Hands a stream's frames to its handler on the queue, from any thread, at most depth in flight.
// One offered when none is free waits, replacing any waiting, so a burst's last picture is never
// lost however slow the consumer; a stopped frame goes at once, after the waiting one. A source
// that would rather skip a frame than make one wait asks full() first.
class StreamFrameLine : public std::enable_shared_from_this<StreamFrameLine> {
  public:
    StreamFrameLine(SerialQueue& queue, ScreenStream::FrameHandler handler, int depth)
        : queue(queue), handler(std::move(handler)), depth(depth) {}

    bool full() const { return inFlight >= depth; }

    void offer(StreamFrame frame) {
        std::lock_guard lock(mutex);
        if (frame.status == FrameStatus::stopped) {
            if (waiting) {
                send(*std::exchange(waiting, std::nullopt));
            }
            send(std::move(frame));
        } else if (!full()) {
            send(std::move(frame));
        } else {
            waiting = std::move(frame);
        }
    }

  private:
    void send(StreamFrame frame) {
        ++inFlight;
        queue.async([line = shared_from_this(), frame = std::move(frame)]() mutable {
            line->handler(std::move(frame));
            std::lock_guard lock(line->mutex);
            --line->inFlight;
            if (line->waiting) {
                line->send(*std::exchange(line->waiting, std::nullopt));
            }
        });
    }

    SerialQueue& queue;
    const ScreenStream::FrameHandler handler;
    const int depth;
    std::mutex mutex;
    std::atomic<int> inFlight = 0;  // full() reads it without the lock
    std::optional<StreamFrame> waiting;
};

// The queue must outlive the stream.
using ScreenStreamFactory = std::function<Result<std::unique_ptr<ScreenStream>>(
    const StreamConfiguration& configuration, SerialQueue& queue, ScreenStream::FrameHandler)>;

}  // namespace platform

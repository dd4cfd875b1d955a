#include "platform/x11/X11ScreenStream.h"

#include "platform/x11/X11RegionGrabber.h"
#include "platform/x11/X11ScreenCapture.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

namespace {

class X11ScreenStream : public ScreenStream {
  public:
    X11ScreenStream(StreamConfiguration configuration, SerialQueue& queue, FrameHandler handler)
        : configuration(std::move(configuration)),
          line(std::make_shared<StreamFrameLine>(queue, std::move(handler),
                                                 this->configuration.queueDepth)) {}
    ~X11ScreenStream() override;

    void start(Completion completion) override;
    void stop(Completion completion) override;

  private:
    void run(Completion started);
    void capture(X11RegionGrabber& grabber);
    bool cursorMoved(const std::optional<CursorImage>& now) const;
    size_t bufferLimit() const;

    const StreamConfiguration configuration;
    const std::shared_ptr<StreamFrameLine> line;
    std::optional<CursorImage> lastCursor;

    std::mutex mutex;
    std::condition_variable wakeUp;
    bool started = false;
    bool stopRequested = false;
    bool finished = false;
    Completion stopCompletion;
    std::thread worker;
};

X11ScreenStream::~X11ScreenStream() {
    {
        std::lock_guard lock(mutex);
        stopRequested = true;
    }
    wakeUp.notify_one();
    if (!worker.joinable()) {
        return;
    }
    if (worker.get_id() == std::this_thread::get_id()) {
        worker.detach();
    } else {
        worker.join();
    }
}

void X11ScreenStream::start(Completion completion) {
    {
        std::lock_guard lock(mutex);
        if (!started && !stopRequested) {
            started = true;
            worker = std::thread([this, completion = std::move(completion)] { run(completion); });
            return;
        }
    }
    completion(Error::platform(QStringLiteral("Luồng quay màn hình đã được bắt đầu")));
}

void X11ScreenStream::stop(Completion completion) {
    {
        std::lock_guard lock(mutex);
        if (started && !finished && !stopRequested) {
            stopRequested = true;
            stopCompletion = std::move(completion);
            wakeUp.notify_one();
            return;
        }
        stopRequested = true;
    }
    completion(std::nullopt);
}

void X11ScreenStream::run(Completion started) {
    auto opened = X11RegionGrabber::open(configuration.sourceRect, bufferLimit());
    if (!opened.ok()) {
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        started(opened.error());
        return;
    }
    started(std::nullopt);
    capture(*opened.value());
    Completion stopped;
    {
        std::lock_guard lock(mutex);
        finished = true;
        stopped = std::move(stopCompletion);
    }
    if (stopped) {
        stopped(std::nullopt);
    }
}

void X11ScreenStream::capture(X11RegionGrabber& grabber) {
    bool changePending = true;
    auto nextTick = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::unique_lock lock(mutex);
            if (wakeUp.wait_until(lock, nextTick, [this] { return stopRequested; })) {
                return;
            }
        }
        // A fixed schedule keeps the average rate at the interval despite wake-up delays; a
        // tick that fell behind starts the schedule afresh instead of catching up in a burst.
        nextTick += configuration.minimumFrameInterval;
        nextTick = std::max(nextTick, std::chrono::steady_clock::now());
        changePending = grabber.takeDamage() || changePending;
        std::optional<CursorImage> cursor;
        if (configuration.showsCursor) {
            cursor = grabber.cursor();
            changePending = cursorMoved(cursor) || changePending;
        }
        // A busy consumer loses ticks, never memory: the change waits for a free slot.
        if (line->full()) {
            continue;
        }
        StreamFrame frame{FrameStatus::idle, monotonicNow(), {}};
        if (changePending) {
            QImage pixels = grabber.grab(cursor);
            if (pixels.isNull()) {
                continue;
            }
            pixels = fitToOutputSize(pixels, configuration.outputSize);
            frame = StreamFrame{FrameStatus::complete, frame.presentationTime, std::move(pixels)};
            changePending = false;
        }
        lastCursor = std::move(cursor);
        line->offer(std::move(frame));
    }
}

bool X11ScreenStream::cursorMoved(const std::optional<CursorImage>& now) const {
    const QRect& source = configuration.sourceRect;
    const bool wasInside = lastCursor && lastCursor->area().intersects(source);
    const bool isInside = now && now->area().intersects(source);
    if (!wasInside && !isInside) {
        return false;
    }
    return wasInside != isInside || lastCursor->topLeft != now->topLeft ||
           lastCursor->serial != now->serial;
}

// Frames in the queue, a few more held by the consumer (a movie writer keeps a short line),
// and the one being filled.
size_t X11ScreenStream::bufferLimit() const {
    return static_cast<size_t>(configuration.queueDepth) + 5;
}

}  // namespace

Result<std::unique_ptr<ScreenStream>> openX11ScreenStream(const StreamConfiguration& configuration,
                                                          SerialQueue& queue,
                                                          ScreenStream::FrameHandler handler) {
    if (auto invalid = configuration.error()) {
        return *invalid;
    }
    return std::unique_ptr<ScreenStream>(
        std::make_unique<X11ScreenStream>(configuration, queue, std::move(handler)));
}

}  // namespace platform

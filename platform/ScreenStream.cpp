#include "platform/ScreenStream.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

namespace {

std::chrono::nanoseconds monotonicNow() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

struct CursorImage {
    QPoint topLeft;  // root window device pixels
    QImage pixels;
    uint32_t serial = 0;

    QRect area() const { return QRect(topLeft, pixels.size()); }
};

// The X side of the stream: one connection of the capture thread's own, a shared-memory
// segment the server writes the region into, the damage record and the cursor.
class X11Grabber {
  public:
    // bufferLimit: how many frames may be out with consumers before grabbing waits.
    static Result<std::unique_ptr<X11Grabber>> open(const QRect& source, size_t bufferLimit);
    ~X11Grabber();

    // Whether anything inside the source changed since the last call.
    bool takeDamage();
    std::optional<CursorImage> cursor();
    // The region with the cursor drawn in; null when the grab failed or every buffer is out.
    QImage grab(const std::optional<CursorImage>& cursor);

  private:
    X11Grabber(QRect source, size_t bufferLimit) : source(source), bufferLimit(bufferLimit) {}
    std::optional<Error> setUp();
    QImage* freeBuffer();

    const QRect source;
    const size_t bufferLimit;
    // Frames are written into buffers no consumer holds any more, so the capture thread does
    // not fault in fresh memory for every frame.
    std::vector<QImage> buffers;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_shm_seg_t segment = XCB_NONE;
    void* sharedPixels = nullptr;
    bool hasCursor = false;
    xcb_damage_damage_t damage = XCB_NONE;
    uint8_t damageNotify = 0;
};

Result<std::unique_ptr<X11Grabber>> X11Grabber::open(const QRect& source, size_t bufferLimit) {
    std::unique_ptr<X11Grabber> grabber(new X11Grabber(source, bufferLimit));
    if (auto failed = grabber->setUp()) {
        return *failed;
    }
    return grabber;
}

std::optional<Error> X11Grabber::setUp() {
    int screenNumber = 0;
    connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        return Error::platform(QStringLiteral("Không kết nối được với máy chủ X"));
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int index = 0; index < screenNumber && screens.rem > 0; ++index) {
        xcb_screen_next(&screens);
    }
    const xcb_screen_t* screen = screens.data;
    root = screen->root;
    if (!QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels).contains(source) ||
        source.isEmpty()) {
        return Error::platform(QStringLiteral("Vùng quay nằm ngoài màn hình"));
    }
    bool fourBytesPerPixel = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(xcb_get_setup(connection));
         formats.rem > 0; xcb_format_next(&formats)) {
        if (formats.data->depth == screen->root_depth) {
            fourBytesPerPixel = formats.data->bits_per_pixel == 32;
        }
    }
    if (!fourBytesPerPixel || screen->root_depth < 24) {
        return Error::platform(QStringLiteral("Độ sâu màu của màn hình không được hỗ trợ"));
    }

    auto* shm = xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr);
    const bool hasShm = shm != nullptr;
    std::free(shm);
    if (!hasShm) {
        return Error::platform(QStringLiteral("Máy chủ X không có MIT-SHM"));
    }
    const size_t bytes = static_cast<size_t>(source.width()) * source.height() * 4;
    const int shmId = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmId < 0) {
        return Error::platform(QString::fromLocal8Bit(std::strerror(errno)));
    }
    void* attached = shmat(shmId, nullptr, 0);
    // Marked for removal at once, so the segment disappears with us however we end.
    shmctl(shmId, IPC_RMID, nullptr);
    if (attached == reinterpret_cast<void*>(-1)) {
        return Error::platform(QString::fromLocal8Bit(std::strerror(errno)));
    }
    sharedPixels = attached;
    segment = xcb_generate_id(connection);
    xcb_generic_error_t* attachError =
        xcb_request_check(connection, xcb_shm_attach_checked(connection, segment, shmId, 0));
    if (attachError != nullptr) {
        std::free(attachError);
        segment = XCB_NONE;
        return Error::platform(QStringLiteral("Không chia sẻ được bộ nhớ với máy chủ X"));
    }

    auto* fixes = xcb_xfixes_query_version_reply(
        connection, xcb_xfixes_query_version(connection, 4, 0), nullptr);
    hasCursor = fixes != nullptr;
    std::free(fixes);

    // Without Damage every tick counts as a change: more frames, never a missed one.
    auto* damageVersion = xcb_damage_query_version_reply(
        connection, xcb_damage_query_version(connection, 1, 1), nullptr);
    if (damageVersion != nullptr) {
        damage = xcb_generate_id(connection);
        // Delta rectangles report every newly damaged area, so damage elsewhere on the
        // screen never hides a change inside the region.
        xcb_damage_create(connection, damage, root, XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES);
        damageNotify =
            xcb_get_extension_data(connection, &xcb_damage_id)->first_event + XCB_DAMAGE_NOTIFY;
    }
    std::free(damageVersion);
    xcb_flush(connection);
    return std::nullopt;
}

X11Grabber::~X11Grabber() {
    if (segment != XCB_NONE) {
        xcb_shm_detach(connection, segment);
    }
    if (damage != XCB_NONE) {
        xcb_damage_destroy(connection, damage);
    }
    xcb_disconnect(connection);
    if (sharedPixels != nullptr) {
        shmdt(sharedPixels);
    }
}

bool X11Grabber::takeDamage() {
    if (damage == XCB_NONE) {
        return true;
    }
    bool touched = false;
    bool any = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        if ((event->response_type & 0x7f) == damageNotify) {
            const auto* notify = reinterpret_cast<xcb_damage_notify_event_t*>(event);
            const QRect area(notify->area.x, notify->area.y, notify->area.width,
                             notify->area.height);
            touched = touched || area.intersects(source);
            any = true;
        }
        std::free(event);
    }
    // Emptying the record lets the next drawing anywhere report again; the grab that follows
    // is ordered after it, so nothing drawn in between is lost.
    if (any) {
        xcb_damage_subtract(connection, damage, XCB_NONE, XCB_NONE);
    }
    return touched;
}

std::optional<CursorImage> X11Grabber::cursor() {
    if (!hasCursor) {
        return std::nullopt;
    }
    auto* reply = xcb_xfixes_get_cursor_image_reply(
        connection, xcb_xfixes_get_cursor_image(connection), nullptr);
    if (reply == nullptr) {
        return std::nullopt;
    }
    // XFixes hands out premultiplied ARGB, one 32-bit word per pixel.
    QImage pixels(reply->width, reply->height, QImage::Format_ARGB32_Premultiplied);
    const uint32_t* words = xcb_xfixes_get_cursor_image_cursor_image(reply);
    for (int y = 0; y < reply->height; ++y) {
        std::memcpy(pixels.scanLine(y), words + static_cast<size_t>(y) * reply->width,
                    static_cast<size_t>(reply->width) * 4);
    }
    CursorImage image{QPoint(reply->x - reply->xhot, reply->y - reply->yhot), std::move(pixels),
                      reply->cursor_serial};
    std::free(reply);
    return image;
}

QImage* X11Grabber::freeBuffer() {
    for (QImage& buffer : buffers) {
        if (buffer.isDetached()) {
            return &buffer;
        }
    }
    if (buffers.size() >= bufferLimit) {
        return nullptr;
    }
    buffers.emplace_back(source.size(), QImage::Format_RGB32);
    return &buffers.back();
}

QImage X11Grabber::grab(const std::optional<CursorImage>& cursor) {
    QImage* frame = freeBuffer();
    if (frame == nullptr) {
        return {};
    }
    auto* reply = xcb_shm_get_image_reply(
        connection,
        xcb_shm_get_image(connection, root, static_cast<int16_t>(source.x()),
                          static_cast<int16_t>(source.y()), static_cast<uint16_t>(source.width()),
                          static_cast<uint16_t>(source.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                          segment, 0),
        nullptr);
    if (reply == nullptr) {
        return {};
    }
    std::free(reply);
    // The padding byte of a depth-24 screen is undefined; frames promise opaque pixels.
    const auto* from = static_cast<const uint32_t*>(sharedPixels);
    for (int y = 0; y < source.height(); ++y) {
        auto* to = reinterpret_cast<uint32_t*>(frame->scanLine(y));
        const uint32_t* row = from + static_cast<size_t>(y) * source.width();
        for (int x = 0; x < source.width(); ++x) {
            to[x] = row[x] | 0xff000000u;
        }
    }
    if (cursor) {
        QPainter(frame).drawImage(cursor->topLeft - source.topLeft(), cursor->pixels);
    }
    return *frame;
}

class X11ScreenStream : public ScreenStream {
  public:
    X11ScreenStream(StreamConfiguration configuration, SerialQueue& queue, FrameHandler handler)
        : configuration(std::move(configuration)), queue(queue), handler(std::move(handler)) {}
    ~X11ScreenStream() override;

    void start(Completion completion) override;
    void stop(Completion completion) override;

  private:
    void run(Completion started);
    void capture(X11Grabber& grabber);
    bool cursorMoved(const std::optional<CursorImage>& now) const;
    void deliver(StreamFrame frame);
    size_t bufferLimit() const;

    const StreamConfiguration configuration;
    SerialQueue& queue;
    const FrameHandler handler;
    // Frames handed to the queue and not yet handled, shared with the tasks themselves.
    const std::shared_ptr<std::atomic<int>> inFlight = std::make_shared<std::atomic<int>>(0);
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
    auto opened = X11Grabber::open(configuration.sourceRect, bufferLimit());
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

void X11ScreenStream::capture(X11Grabber& grabber) {
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
        if (inFlight->load() >= configuration.queueDepth) {
            continue;
        }
        StreamFrame frame{FrameStatus::idle, monotonicNow(), {}};
        if (changePending) {
            QImage pixels = grabber.grab(cursor);
            if (pixels.isNull()) {
                continue;
            }
            if (pixels.size() != configuration.outputSize) {
                pixels = pixels.scaled(configuration.outputSize, Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation);
            }
            frame = StreamFrame{FrameStatus::complete, frame.presentationTime, std::move(pixels)};
            changePending = false;
        }
        lastCursor = std::move(cursor);
        deliver(std::move(frame));
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

void X11ScreenStream::deliver(StreamFrame frame) {
    ++*inFlight;
    queue.async([handler = handler, inFlight = inFlight, frame = std::move(frame)]() mutable {
        handler(std::move(frame));
        --*inFlight;
    });
}

}  // namespace

Result<std::unique_ptr<ScreenStream>> openX11ScreenStream(const StreamConfiguration& configuration,
                                                          SerialQueue& queue,
                                                          ScreenStream::FrameHandler handler) {
    if (configuration.sourceRect.isEmpty() || configuration.outputSize.isEmpty() ||
        configuration.queueDepth < 1) {
        return Error::platform(QStringLiteral("Cấu hình luồng quay màn hình không hợp lệ"));
    }
    return std::unique_ptr<ScreenStream>(
        std::make_unique<X11ScreenStream>(configuration, queue, std::move(handler)));
}

}  // namespace platform

#include "platform/x11/X11RegionGrabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/xfixes.h>
#include <QPainter>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

Result<std::unique_ptr<X11RegionGrabber>> X11RegionGrabber::open(const QRect& source,
                                                                 size_t bufferLimit) {
    std::unique_ptr<X11RegionGrabber> grabber(new X11RegionGrabber(source, bufferLimit));
    if (auto failed = grabber->setUp()) {
        return *failed;
    }
    return grabber;
}

std::optional<Error> X11RegionGrabber::setUp() {
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

X11RegionGrabber::~X11RegionGrabber() {
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

bool X11RegionGrabber::takeDamage() {
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

std::optional<CursorImage> X11RegionGrabber::cursor() {
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

QImage* X11RegionGrabber::freeBuffer() {
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

QImage X11RegionGrabber::grab(const std::optional<CursorImage>& cursor) {
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

}  // namespace platform

#pragma once

#include "platform/Error.h"

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// The pointer as XFixes hands it out: premultiplied ARGB placed in root window device pixels.
struct CursorImage {
    QPoint topLeft;  // root window device pixels
    QImage pixels;
    uint32_t serial = 0;

    QRect area() const { return QRect(topLeft, pixels.size()); }
};

// The X side of the stream: one connection of the capture thread's own, a shared-memory
// segment the server writes the region into, the damage record and the cursor.
class X11RegionGrabber {
  public:
    // bufferLimit: how many frames may be out with consumers before grabbing waits.
    static Result<std::unique_ptr<X11RegionGrabber>> open(const QRect& source, size_t bufferLimit);
    ~X11RegionGrabber();

    // Whether anything inside the source changed since the last call.
    bool takeDamage();
    std::optional<CursorImage> cursor();
    // The region with the cursor drawn in; null when the grab failed or every buffer is out.
    QImage grab(const std::optional<CursorImage>& cursor);

  private:
    X11RegionGrabber(QRect source, size_t bufferLimit) : source(source), bufferLimit(bufferLimit) {}
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

}  // namespace platform

#pragma once

#include "platform/Error.h"

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <vector>

namespace platform {

// A display the capture backend can read: identifier (as a screen's), frame in global points
// (y up), its place on the X root in device pixels and the device pixels per point.
struct Display {
    quint32 displayID = 0;
    QRectF frame;
    QRect pixelGeometry;
    double scale = 1.0;
};

class ScreenCapture {
  public:
    virtual ~ScreenCapture() = default;
    // The displays attached right now, in the server's order.
    virtual Result<std::vector<Display>> displays() = 0;
    // Whether stills can be taken at all (an X server is reachable).
    virtual bool isAvailable() const = 0;
    // One still of sourceRect (display-local points, top-left origin) at exactly outputSize
    // pixels. The pointer is never in it.
    virtual Result<QImage> still(const Display& display, const QRectF& sourceRect,
                                 QSize outputSize) = 0;
};

// The device pixels a display-local rectangle in points covers, whole pixels outward.
QRect displayPixelRect(const Display& display, const QRectF& sourceRect);

}  // namespace platform

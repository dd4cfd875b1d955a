#pragma once

#include "platform/Error.h"

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>
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
    // Why no still can be taken at all on this desktop, as far as is known without waiting;
    // nothing when stills can be taken.
    virtual std::optional<QString> unavailableReason() const = 0;
    // Calls told with the reason once the desktop has said; at once where nothing is asked.
    virtual void learnUnavailableReason(std::function<void(std::optional<QString>)> told) {
        told(unavailableReason());
    }
    // Takes what stills are cut from, where the desktop hands out whole pictures only, and then
    // calls ready; elsewhere ready is called at once.
    virtual void prepare(std::function<void(std::optional<Error>)> ready) { ready(std::nullopt); }
    // One still of sourceRect (display-local points, top-left origin) at exactly outputSize
    // pixels. The pointer is never in it.
    virtual Result<QImage> still(const Display& display, const QRectF& sourceRect,
                                 QSize outputSize) = 0;
};

// Whole pixels from a product of points and a scale. At a fractional scale a point is a
// fraction of a pixel, and the product of two such fractions lands a hair beside the whole
// number it stands for; within a millionth of a pixel it is that whole number.
int pixelsFloor(double pixels);
int pixelsCeil(double pixels);

// The device pixels a display-local rectangle in points covers, whole pixels outward.
QRect displayPixelRect(const Display& display, const QRectF& sourceRect);

// Fits grabbed pixels to the requested size: a difference of one pixel is a fraction cut off
// by truncation and is cropped, so pixels stay exact; anything else is resampled.
QImage fitToOutputSize(const QImage& grabbed, QSize outputSize);

}  // namespace platform

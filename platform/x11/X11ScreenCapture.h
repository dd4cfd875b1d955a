#pragma once

#include "platform/ScreenCapture.h"

namespace platform {

// Reads the RandR monitors and GetImage on the root window through Qt's X connection.
class X11ScreenCapture : public ScreenCapture {
  public:
    Result<std::vector<Display>> displays() override;
    bool isAvailable() const override;
    Result<QImage> still(const Display& display, const QRectF& sourceRect,
                         QSize outputSize) override;
};

// Fits grabbed pixels to the requested size: a difference of one pixel is a fraction cut off
// by truncation and is cropped, so pixels stay exact; anything else is resampled.
QImage fitToOutputSize(const QImage& grabbed, QSize outputSize);

}  // namespace platform

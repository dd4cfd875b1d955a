#pragma once

#include "platform/ScreenCapture.h"

namespace platform {

// Reads the RandR monitors and GetImage on the root window through Qt's X connection.
class X11ScreenCapture : public ScreenCapture {
  public:
    Result<std::vector<Display>> displays() override;
    std::optional<QString> unavailableReason() const override;
    Result<QImage> still(const Display& display, const QRectF& sourceRect,
                         QSize outputSize) override;
};

}  // namespace platform

#pragma once

#include "platform/PointerPixels.h"

#include <QAbstractNativeEventFilter>

namespace platform {

// The pixels the X server reported with each press, motion and release. Without an X server
// nothing is recorded.
class X11PointerPixels : public PointerPixels, private QAbstractNativeEventFilter {
  public:
    X11PointerPixels();
    ~X11PointerPixels() override;
    X11PointerPixels(const X11PointerPixels&) = delete;
    X11PointerPixels& operator=(const X11PointerPixels&) = delete;

    std::optional<QPointF> at(Kind kind, uint64_t timestamp) const override;

  private:
    struct Sample {
        uint32_t time = 0;
        std::optional<QPointF> pixel;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void record(Kind kind, uint32_t time, QPointF pixel);

    Sample samples[3];
    uint8_t inputOpcode = 0;
};

}  // namespace platform

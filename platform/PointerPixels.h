#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointF>
#include <cstdint>
#include <optional>

namespace platform {

// Where the pointer was, in the X screen's pixels, at the last press, motion and release the
// X server reported. Qt hands widgets positions rounded to whole points, which at a scale of 2
// loses every odd pixel. Without an X server nothing is recorded.
class PointerPixels : private QAbstractNativeEventFilter {
  public:
    enum class Kind { press, motion, release };

    PointerPixels();
    ~PointerPixels() override;
    PointerPixels(const PointerPixels&) = delete;
    PointerPixels& operator=(const PointerPixels&) = delete;

    // The pixel of the last event of that kind, when it carried this server time stamp.
    std::optional<QPointF> at(Kind kind, uint64_t timestamp) const;

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

#pragma once

#include <QPointF>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// Where the pointer was, in the screen's pixels, at its last press, motion and release. Qt
// hands widgets positions rounded to whole points, which at a scale of 2 loses every odd pixel.
class PointerPixels {
  public:
    enum class Kind { press, motion, release };

    virtual ~PointerPixels() = default;
    // The pixel of the last event of that kind, when it carried this server time stamp.
    virtual std::optional<QPointF> at(Kind kind, uint64_t timestamp) const = 0;
};

// Starts watching the pointer while the result lives; empty where the desktop does not tell.
using PointerPixelsWatch = std::function<std::unique_ptr<PointerPixels>()>;

}  // namespace platform

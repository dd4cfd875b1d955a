#include "platform/ScreenStream.h"

namespace platform {

std::chrono::nanoseconds monotonicNow() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

}  // namespace platform

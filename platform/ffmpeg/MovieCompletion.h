#pragma once

#include "platform/MovieCompletion.h"

namespace platform {

Result<int> completeMovie(const QString& path, std::optional<std::chrono::nanoseconds> end);

}  // namespace platform

#pragma once

#include "platform/Error.h"

#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace platform {

// Rewrites a movie written as fragments (or cut short while being written) as an ordinary
// QuickTime movie of the same frames, each lasting until the next; the last one until end,
// when given. The file is replaced in one step, so it is never half rewritten. Answers the
// number of frames kept; with none the file is left as it was.
using MovieCompletion =
    std::function<Result<int>(const QString& path, std::optional<std::chrono::nanoseconds> end)>;

}  // namespace platform

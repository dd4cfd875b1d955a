#pragma once

#include "platform/Error.h"

#include <QImage>
#include <QString>
#include <chrono>
#include <functional>

namespace platform {

// Decodes the frame shown at the given time of a movie file, turned the way the movie asks to
// be displayed: the last frame at or before the time. A movie shorter than the time gives its
// last frame. Safe on any thread.
using MovieFrameReader =
    std::function<Result<QImage>(const QString& path, std::chrono::milliseconds time)>;

}  // namespace platform

#pragma once

#include "platform/MovieFrameReader.h"

namespace platform {

Result<QImage> readMovieFrame(const QString& path, std::chrono::milliseconds time);

}  // namespace platform

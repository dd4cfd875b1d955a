#pragma once

#include "platform/MovieWriter.h"

namespace platform {

// FFmpeg's mov muxer with libx264. The file is created here, so an unwritable folder is
// reported before anything is recorded; a movie that ends before its first frame reached
// the file is deleted.
Result<std::unique_ptr<MovieWriter>> openQuickTimeMovieWriter(const QString& path);

}  // namespace platform

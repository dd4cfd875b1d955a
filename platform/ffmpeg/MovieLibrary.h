#pragma once

#include "platform/MovieCompletion.h"
#include "platform/MovieFrameReader.h"
#include "platform/MovieWriter.h"

namespace platform {

// What the movie library, FFmpeg's side of the program, hands over once it is opened.
struct MovieLibrary {
    Result<std::unique_ptr<MovieWriter>> (*openWriter)(const QString& path);
    Result<int> (*completeMovie)(const QString& path, std::optional<std::chrono::nanoseconds> end);
    Result<QImage> (*readFrame)(const QString& path, std::chrono::milliseconds time);
};

// The file name the program opens; the entry's name, looked up once it is open.
inline constexpr char movieLibraryFile[] = "libquorvastelin_movies.so";
inline constexpr char movieLibraryEntry[] = "quorvastelinMovieLibrary";

}  // namespace platform

extern "C" const platform::MovieLibrary* quorvastelinMovieLibrary();

#include "platform/ffmpeg/MovieLibrary.h"

#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/ffmpeg/MovieCompletion.h"
#include "platform/ffmpeg/MovieFrameReader.h"

extern "C" const platform::MovieLibrary* quorvastelinMovieLibrary() {
    static const platform::MovieLibrary library{platform::openQuickTimeMovieWriter,
                                                platform::completeMovie, platform::readMovieFrame};
    return &library;
}

#include "platform/ffmpeg/MovieCompletion.h"

#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/FfmpegHandles.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace platform {

namespace {

// A QuickTime sample's duration is a signed 32-bit count of the track's time units.
constexpr int64_t longestSampleDuration = INT32_MAX;

// Copies the frames over, each held back until the next tells its duration.
class Copier {
  public:
    Copier(AVFormatContext* output, const AVStream* from, std::optional<int64_t> endTime)
        : output(output), from(from), endTime(endTime) {}

    // A frame lasted longer than the output's time units can say.
    bool tooLong = false;

    std::optional<Error> take(AVPacket* next) {
        if (held) {
            held->duration = next->pts - held->pts;
            if (auto failed = write()) {
                return failed;
            }
        }
        held.reset(av_packet_clone(next));
        return std::nullopt;
    }

    std::optional<Error> finish() {
        if (!held) {
            return std::nullopt;
        }
        if (endTime && *endTime > held->pts) {
            held->duration = *endTime - held->pts;
        }
        return write();
    }

    int frames = 0;

  private:
    std::optional<Error> write() {
        held->stream_index = 0;
        av_packet_rescale_ts(held.get(), from->time_base, output->streams[0]->time_base);
        // Coarser units can round two frames onto one instant; the later one moves on a unit.
        if (lastPts && held->pts <= *lastPts) {
            held->pts = held->dts = *lastPts + 1;
            held->duration = std::max<int64_t>(held->duration - 1, 1);
        }
        if (held->duration > longestSampleDuration) {
            tooLong = true;
            return Error::platform(QStringLiteral("Khung hình dài quá mức"));
        }
        lastPts = held->pts;
        const int written = av_write_frame(output, held.get());
        held.reset();
        ++frames;
        return written < 0 ? std::optional<Error>(ffmpegError(written)) : std::nullopt;
    }

    AVFormatContext* output;
    const AVStream* from;
    std::optional<int64_t> endTime;
    FfmpegPacket held;
    std::optional<int64_t> lastPts;
};

// The movie's own units first; a screen left still for hours needs coarser ones.
const AVRational coarserTimeUnits[] = {{1, 1000}, {1, 1}};

Result<int> rewrite(const QString& path, std::optional<std::chrono::nanoseconds> end,
                    std::optional<AVRational> timeUnits, bool& tooLong);

}  // namespace

Result<int> completeMovie(const QString& path, std::optional<std::chrono::nanoseconds> end) {
    // Created but never written to: the program ended before the movie's first frame.
    if (QFileInfo(path).size() == 0) {
        return 0;
    }
    bool tooLong = false;
    Result<int> rewritten = rewrite(path, end, std::nullopt, tooLong);
    for (const AVRational units : coarserTimeUnits) {
        if (!tooLong) {
            break;
        }
        tooLong = false;
        rewritten = rewrite(path, end, units, tooLong);
    }
    return rewritten;
}

namespace {

Result<int> rewrite(const QString& path, std::optional<std::chrono::nanoseconds> end,
                    std::optional<AVRational> timeUnits, bool& tooLong) {
    const QByteArray source = QFile::encodeName(path);
    AVFormatContext* opened = nullptr;
    // Each fragment's start time is exact, while the durations the writer could give were not.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "use_tfdt", "1", 0);
    const int openedCode = avformat_open_input(&opened, source.constData(), nullptr, &options);
    av_dict_free(&options);
    if (openedCode < 0) {
        return ffmpegError(openedCode);
    }
    FfmpegInput input(opened);
    if (input->nb_streams != 1 || input->streams[0]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        return Error::platform(QStringLiteral("Tệp phim không có đúng một luồng hình"));
    }
    const AVStream* from = input->streams[0];

    // A hidden name beside the movie keeps the final rename on one file system.
    const QFileInfo movie(path);
    const QString partial = movie.absolutePath() + QStringLiteral("/.") + movie.fileName() +
                            QStringLiteral(".completing");
    const QByteArray target = QFile::encodeName(partial);
    AVFormatContext* allocated = nullptr;
    const int allocatedCode =
        avformat_alloc_output_context2(&allocated, nullptr, "mov", target.constData());
    if (allocatedCode < 0) {
        return ffmpegError(allocatedCode);
    }
    FfmpegOutput output(allocated);
    AVStream* to = avformat_new_stream(output.get(), nullptr);
    if (to == nullptr) {
        return ffmpegError(AVERROR(ENOMEM));
    }
    avcodec_parameters_copy(to->codecpar, from->codecpar);
    to->time_base = timeUnits.value_or(from->time_base);
    AVDictionary* muxerOptions = nullptr;
    if (timeUnits) {
        // Left alone, the muxer multiplies coarse units back up to fine ones.
        av_dict_set_int(&muxerOptions, "video_track_timescale", timeUnits->den, 0);
    }
    int code = avio_open(&output->pb, target.constData(), AVIO_FLAG_WRITE);
    if (code >= 0) {
        code = avformat_write_header(output.get(), &muxerOptions);
    }
    av_dict_free(&muxerOptions);
    if (code < 0) {
        QFile::remove(partial);
        return ffmpegError(code);
    }

    const std::optional<int64_t> endTime =
        end ? std::optional<int64_t>(
                  av_rescale_q(end->count(), AVRational{1, 1'000'000'000}, from->time_base))
            : std::nullopt;
    Copier copier(output.get(), from, endTime);
    FfmpegPacket packet(av_packet_alloc());
    std::optional<Error> failure;
    // A movie cut short ends in a damaged fragment; everything before it is kept.
    while (!failure && av_read_frame(input.get(), packet.get()) >= 0) {
        if ((packet->flags & AV_PKT_FLAG_CORRUPT) == 0 && packet->pts != AV_NOPTS_VALUE) {
            failure = copier.take(packet.get());
        }
        av_packet_unref(packet.get());
    }
    if (!failure) {
        failure = copier.finish();
    }
    if (!failure) {
        code = av_write_trailer(output.get());
        failure = code < 0 ? std::optional<Error>(ffmpegError(code)) : std::nullopt;
    }
    if (!failure) {
        code = avio_closep(&output->pb);
        failure = code < 0 ? std::optional<Error>(ffmpegError(code)) : std::nullopt;
    }
    tooLong = copier.tooLong;
    if (failure || copier.frames == 0) {
        output.reset();
        QFile::remove(partial);
        if (failure) {
            return *failure;
        }
        return 0;
    }
    if (std::rename(target.constData(), source.constData()) != 0) {
        QFile::remove(partial);
        return Error::platform(QStringLiteral("Không thay được tệp %1").arg(movie.fileName()));
    }
    return copier.frames;
}

}  // namespace

}  // namespace platform

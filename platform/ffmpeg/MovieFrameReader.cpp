#include "platform/ffmpeg/MovieFrameReader.h"

#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/FfmpegHandles.h"

#include <QFile>
#include <QFileInfo>
#include <QTransform>
#include <cmath>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
}

namespace platform {
namespace {

Result<FfmpegInput> openInput(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return Error::platform(QStringLiteral("Movie file not found: ") + path);
    }
    // A folder fails late inside the demuxer, and a pipe or device would block it forever.
    if (!info.isFile()) {
        return Error::platform(QStringLiteral("Not a regular file: ") + path);
    }
    AVDictionary* options = nullptr;
    // A crafted playlist must not make a thumbnail reach out to the network.
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* raw = nullptr;
    const int opened =
        avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        return ffmpegError(QStringLiteral("Cannot open movie"), opened);
    }
    FfmpegInput input(raw);
    const int probed = avformat_find_stream_info(input.get(), nullptr);
    if (probed < 0) {
        return ffmpegError(QStringLiteral("Cannot read movie streams"), probed);
    }
    return input;
}

Result<FfmpegCodec> openDecoder(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        return Error::platform(QStringLiteral("No decoder for the movie's video"));
    }
    FfmpegCodec decoder(avcodec_alloc_context3(codec));
    if (!decoder) {
        return Error::platform(QStringLiteral("Out of memory for the video decoder"));
    }
    const int copied = avcodec_parameters_to_context(decoder.get(), stream->codecpar);
    if (copied < 0) {
        return ffmpegError(QStringLiteral("Bad video parameters"), copied);
    }
    const int opened = avcodec_open2(decoder.get(), codec, nullptr);
    if (opened < 0) {
        return ffmpegError(QStringLiteral("Cannot open the video decoder"), opened);
    }
    return decoder;
}

// Keeps the last frame at or before the target, the one on screen then; true once the decoder
// shows that no later frame can replace it. A target before the first frame gives the first.
bool drainFrames(AVCodecContext* decoder, AVFrame* scratch, AVFrame* kept, int64_t target,
                 bool& haveKept) {
    while (avcodec_receive_frame(decoder, scratch) >= 0) {
        const int64_t time = scratch->best_effort_timestamp;
        const bool later = time != AV_NOPTS_VALUE && time > target;
        if (later && haveKept) {
            av_frame_unref(scratch);
            return true;
        }
        av_frame_unref(kept);
        av_frame_move_ref(kept, scratch);
        haveKept = true;
        if (later || time == target) {
            return true;
        }
    }
    return false;
}

// Decodes from the key frame before the target up to the frame shown at it; a movie that ends
// sooner gives its last frame. Damaged packets are skipped, not fatal.
Result<FfmpegFrame> decodeFrameAt(AVFormatContext* input, const AVStream* stream,
                                  AVCodecContext* decoder, int64_t target) {
    FfmpegPacket packet(av_packet_alloc());
    FfmpegFrame scratch(av_frame_alloc());
    FfmpegFrame kept(av_frame_alloc());
    if (!packet || !scratch || !kept) {
        return Error::platform(QStringLiteral("Out of memory for a video frame"));
    }
    // When seeking fails the reader simply stays at the start and decodes forward.
    av_seek_frame(input, stream->index, target, AVSEEK_FLAG_BACKWARD);
    bool haveKept = false;
    while (av_read_frame(input, packet.get()) >= 0) {
        const bool ours = packet->stream_index == stream->index;
        if (ours) {
            avcodec_send_packet(decoder, packet.get());
        }
        av_packet_unref(packet.get());
        if (ours && drainFrames(decoder, scratch.get(), kept.get(), target, haveKept)) {
            return kept;
        }
    }
    avcodec_send_packet(decoder, nullptr);
    drainFrames(decoder, scratch.get(), kept.get(), target, haveKept);
    if (!haveKept) {
        return Error::platform(QStringLiteral("No video frame could be decoded"));
    }
    return kept;
}

Result<QImage> toImage(const AVFrame* frame) {
    if (frame->width <= 0 || frame->height <= 0) {
        return Error::platform(QStringLiteral("Video frame has no size"));
    }
    QImage image(frame->width, frame->height, QImage::Format_RGB32);
    if (image.isNull()) {
        return Error::platform(QStringLiteral("Video frame too large"));
    }
    FfmpegScaler scaler(sws_getContext(
        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
        frame->height, AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) {
        return Error::platform(QStringLiteral("Unsupported video pixel format"));
    }
    // swscale writes whole SIMD blocks, past the end of a row whose width they do not divide;
    // only a buffer of FFmpeg's own alignment and padding can take that.
    FfmpegFrame converted(av_frame_alloc());
    if (!converted) {
        return Error::platform(QStringLiteral("Out of memory for a video frame"));
    }
    converted->format = AV_PIX_FMT_RGB32;
    converted->width = frame->width;
    converted->height = frame->height;
    const int allocated = av_frame_get_buffer(converted.get(), 0);
    if (allocated < 0) {
        return ffmpegError(QStringLiteral("Cannot convert the video frame"), allocated);
    }
    // Honour the movie's own colour matrix and range, or its colours come out shifted.
    const int* coefficients = sws_getCoefficients(frame->colorspace);
    const int fullRange = frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    sws_setColorspaceDetails(scaler.get(), coefficients, fullRange,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, converted->data,
              converted->linesize);
    av_image_copy_plane(image.bits(), static_cast<int>(image.bytesPerLine()), converted->data[0],
                        converted->linesize[0], frame->width * 4, frame->height);
    return image;
}

// Phones and some recorders store frames sideways with a display matrix saying how to turn
// them; only quarter turns occur in practice.
QImage turnedForDisplay(QImage image, const AVStream* stream) {
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (data == nullptr || size < 9 * sizeof(int32_t)) {
        return image;
    }
    const double clockwise = -av_display_rotation_get(reinterpret_cast<const int32_t*>(data));
    if (!std::isfinite(clockwise)) {
        return image;
    }
    const int quarterTurns = ((static_cast<int>(std::lround(clockwise / 90.0)) % 4) + 4) % 4;
    if (quarterTurns == 0) {
        return image;
    }
    return image.transformed(QTransform().rotate(90.0 * quarterTurns));
}

}  // namespace

Result<QImage> readMovieFrame(const QString& path, std::chrono::milliseconds time) {
    silenceFfmpegLog();
    auto input = openInput(path);
    if (!input.ok()) {
        return input.error();
    }
    AVFormatContext* context = input.value().get();
    const int index = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return Error::platform(QStringLiteral("Movie has no video stream"));
    }
    const AVStream* stream = context->streams[index];
    if (stream->time_base.num <= 0 || stream->time_base.den <= 0) {
        return Error::platform(QStringLiteral("Movie has no usable time base"));
    }
    auto decoder = openDecoder(stream);
    if (!decoder.ok()) {
        return decoder.error();
    }
    const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
    const int64_t offset =
        av_rescale_q_rnd(time.count(), AVRational{1, 1000}, stream->time_base, AV_ROUND_DOWN);
    auto frame = decodeFrameAt(context, stream, decoder.value().get(), start + offset);
    if (!frame.ok()) {
        return frame.error();
    }
    auto image = toImage(frame.value().get());
    if (!image.ok()) {
        return image.error();
    }
    return turnedForDisplay(std::move(image).value(), stream);
}

}  // namespace platform

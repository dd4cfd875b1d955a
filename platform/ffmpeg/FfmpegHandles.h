#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace platform {

// Each of FFmpeg's handles has its own function to free it, most wanting the pointer's address.
struct FfmpegFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

// A demuxer's context is closed with its file; a muxer's file is closed apart from it.
struct FfmpegCloseInput {
    void operator()(AVFormatContext* input) const { avformat_close_input(&input); }
};
struct FfmpegCloseOutput {
    void operator()(AVFormatContext* output) const {
        if (output->pb != nullptr) {
            avio_closep(&output->pb);
        }
        avformat_free_context(output);
    }
};

using FfmpegInput = std::unique_ptr<AVFormatContext, FfmpegCloseInput>;
using FfmpegOutput = std::unique_ptr<AVFormatContext, FfmpegCloseOutput>;
using FfmpegCodec = std::unique_ptr<AVCodecContext, FfmpegFree>;
using FfmpegFrame = std::unique_ptr<AVFrame, FfmpegFree>;
using FfmpegPacket = std::unique_ptr<AVPacket, FfmpegFree>;
using FfmpegScaler = std::unique_ptr<SwsContext, FfmpegFree>;

}  // namespace platform

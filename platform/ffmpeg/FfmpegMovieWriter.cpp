#include "platform/ffmpeg/FfmpegMovieWriter.h"

#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/FfmpegHandles.h"
#include "platform/ffmpeg/MovieCompletion.h"

#include <QFile>
#include <QFileInfo>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace platform {

namespace {

// Fine enough for any capture clock and a multiple of the usual frame rates.
constexpr AVRational movieTimeBase{1, 90000};
// Frames accepted but not yet taken by the encoder: enough to ride out a slow frame, few
// enough that a lagging encoder turns into dropped frames instead of growing memory.
constexpr size_t maxWaitingFrames = 3;

struct PendingFrame {
    QImage pixels;
    int64_t pts = 0;
};

class FfmpegMovieWriter : public MovieWriter {
  public:
    FfmpegMovieWriter(QString path, FfmpegOutput format)
        : path(std::move(path)), format(std::move(format)) {}
    ~FfmpegMovieWriter() override;

    bool addVideoTrack(const MovieSettings& settings) override;
    bool startWriting() override;
    void startSession(std::chrono::nanoseconds sourceTime) override;
    void endSession(std::chrono::nanoseconds sourceTime) override;
    bool isReadyForMoreMediaData() const override;
    bool append(const QImage& pixels, std::chrono::nanoseconds presentationTime) override;
    void setFailureHandler(FailureHandler handler) override;
    void finishWriting(FinishHandler done) override;
    void cancelWriting() override;
    Status status() const override;
    std::optional<Error> error() const override;

  private:
    void encodeLoop();
    std::optional<Error> encode(const PendingFrame& frame);
    std::optional<Error> drainPackets();
    std::optional<Error> closeMovie();
    void fail(Error error);
    void keepWhatReachedTheFile();
    void stopEncoder();
    void closeFile();

    const QString path;
    const FfmpegOutput format;
    FfmpegCodec codec;
    AVStream* stream = nullptr;
    FfmpegScaler converter;
    // The captured pixels, copied where swscale may read whole SIMD blocks past a row's end.
    FfmpegFrame source;
    FfmpegFrame picture;
    FfmpegPacket packet;
    int64_t nominalFrameDuration = 0;
    QSize size;
    // Where the last whole fragment ends, and how many frames the file holds up to there.
    // Written by whoever runs the encoder, read once it has stopped.
    int64_t wholeFragmentsEnd = 0;
    int framesInFile = 0;

    mutable std::mutex mutex;
    std::condition_variable wakeUp;
    Status state = Status::unknown;
    std::optional<Error> failure;
    std::optional<std::chrono::nanoseconds> sessionStart;
    std::optional<int64_t> endPts;
    std::optional<int64_t> lastPts;
    std::deque<PendingFrame> pending;
    FinishHandler finishHandler;
    FailureHandler failureHandler;
    bool finishRequested = false;
    bool cancelRequested = false;
    // Finished or cancelled: the file is what it will stay.
    bool fileSettled = false;
    std::thread encoder;
};

FfmpegMovieWriter::~FfmpegMovieWriter() {
    stopEncoder();
    // Left unfinished (the program ends mid-recording), the fragments stay for the next start.
    if (!fileSettled) {
        keepWhatReachedTheFile();
    }
}

bool FfmpegMovieWriter::addVideoTrack(const MovieSettings& settings) {
    const QSize wanted = settings.size;
    // yuv420p halves both dimensions for colour, so odd sizes cannot be encoded faithfully.
    const bool usableSize = wanted.width() >= 2 && wanted.height() >= 2 &&
                            wanted.width() % 2 == 0 && wanted.height() % 2 == 0;
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    if (codec != nullptr || !usableSize || x264 == nullptr) {
        return false;
    }
    codec.reset(avcodec_alloc_context3(x264));
    codec->width = wanted.width();
    codec->height = wanted.height();
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->time_base = movieTimeBase;
    codec->framerate = AVRational{settings.expectedFrameRate, 1};
    codec->bit_rate = settings.averageBitRate;
    codec->gop_size = settings.maxKeyFrameInterval;
    codec->max_b_frames = 0;
    // Limited-range BT.709 is what QuickTime and common players expect from H.264 movies.
    codec->color_range = AVCOL_RANGE_MPEG;
    codec->colorspace = AVCOL_SPC_BT709;
    codec->color_primaries = AVCOL_PRI_BT709;
    codec->color_trc = AVCOL_TRC_BT709;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    // superfast keeps a 1080p screen at 30 frames per second on two cores; larger regions
    // need the cheapest preset to come near that. zerolatency stops the encoder from
    // buffering frames, so what is appended is encoded at once.
    const bool beyondFullHD = wanted.width() * wanted.height() > 1920 * 1080;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", beyondFullHD ? "ultrafast" : "superfast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    av_dict_set(&options, "profile", "high", 0);
    const int opened = avcodec_open2(codec.get(), x264, &options);
    av_dict_free(&options);
    if (opened < 0) {
        codec.reset();
        return false;
    }
    converter.reset(sws_getContext(wanted.width(), wanted.height(), AV_PIX_FMT_BGR0, wanted.width(),
                                   wanted.height(), AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr,
                                   nullptr));
    sws_setColorspaceDetails(converter.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    source.reset(av_frame_alloc());
    picture.reset(av_frame_alloc());
    packet.reset(av_packet_alloc());
    // Without its buffers the writer keeps no stream, so it never starts.
    if (converter == nullptr || source == nullptr || picture == nullptr || packet == nullptr) {
        return false;
    }
    source->format = AV_PIX_FMT_BGR0;
    source->width = wanted.width();
    source->height = wanted.height();
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = wanted.width();
    picture->height = wanted.height();
    picture->color_range = AVCOL_RANGE_MPEG;
    picture->colorspace = AVCOL_SPC_BT709;
    picture->color_primaries = AVCOL_PRI_BT709;
    picture->color_trc = AVCOL_TRC_BT709;
    if (av_frame_get_buffer(source.get(), 0) < 0 || av_frame_get_buffer(picture.get(), 0) < 0) {
        return false;
    }
    // swscale reads the padding too; defined bytes there keep memory checkers quiet.
    std::memset(source->buf[0]->data, 0, source->buf[0]->size);
    stream = avformat_new_stream(format.get(), nullptr);
    if (stream == nullptr) {
        return false;
    }
    stream->time_base = movieTimeBase;
    avcodec_parameters_from_context(stream->codecpar, codec.get());
    nominalFrameDuration = movieTimeBase.den / settings.expectedFrameRate;
    size = wanted;
    return true;
}

bool FfmpegMovieWriter::startWriting() {
    std::lock_guard lock(mutex);
    if (state != Status::unknown || stream == nullptr) {
        return false;
    }
    // While recording the movie is a series of fragments, one per frame, each on disk as soon
    // as it is encoded: a program that dies keeps everything but the frame it was writing.
    // Finishing turns it into an ordinary movie.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "frag_custom+empty_moov+default_base_moof", 0);
    const int written = avformat_write_header(format.get(), &options);
    av_dict_free(&options);
    if (written < 0) {
        state = Status::failed;
        failure = ffmpegError(written);
        return false;
    }
    state = Status::writing;
    encoder = std::thread([this] { encodeLoop(); });
    return true;
}

void FfmpegMovieWriter::startSession(std::chrono::nanoseconds sourceTime) {
    std::lock_guard lock(mutex);
    sessionStart = sourceTime;
}

void FfmpegMovieWriter::endSession(std::chrono::nanoseconds sourceTime) {
    std::lock_guard lock(mutex);
    if (sessionStart && sourceTime >= *sessionStart && !finishRequested) {
        endPts = av_rescale_q((sourceTime - *sessionStart).count(), AVRational{1, 1'000'000'000},
                              movieTimeBase);
    }
}

bool FfmpegMovieWriter::isReadyForMoreMediaData() const {
    std::lock_guard lock(mutex);
    return state == Status::writing && sessionStart && pending.size() < maxWaitingFrames &&
           !finishRequested;
}

bool FfmpegMovieWriter::append(const QImage& pixels, std::chrono::nanoseconds presentationTime) {
    std::lock_guard lock(mutex);
    if (state != Status::writing || !sessionStart || pending.size() >= maxWaitingFrames ||
        finishRequested || pixels.size() != size || pixels.depth() != 32 ||
        presentationTime < *sessionStart) {
        return false;
    }
    const int64_t pts = av_rescale_q((presentationTime - *sessionStart).count(),
                                     AVRational{1, 1'000'000'000}, movieTimeBase);
    // Time stamps that do not advance would be rejected by the muxer and end the movie.
    if (lastPts && pts <= *lastPts) {
        return false;
    }
    lastPts = pts;
    pending.push_back(PendingFrame{pixels, pts});
    wakeUp.notify_one();
    return true;
}

void FfmpegMovieWriter::setFailureHandler(FailureHandler handler) {
    std::lock_guard lock(mutex);
    failureHandler = std::move(handler);
}

void FfmpegMovieWriter::finishWriting(FinishHandler done) {
    {
        std::lock_guard lock(mutex);
        if (encoder.joinable() && !cancelRequested && !finishRequested) {
            finishRequested = true;
            finishHandler = std::move(done);
            wakeUp.notify_one();
            return;
        }
    }
    done(status(), error());
}

void FfmpegMovieWriter::cancelWriting() {
    stopEncoder();
    {
        std::lock_guard lock(mutex);
        if (state == Status::completed || framesInFile > 0) {
            return;
        }
        state = Status::cancelled;
        fileSettled = true;
    }
    closeFile();
    QFile::remove(path);
}

MovieWriter::Status FfmpegMovieWriter::status() const {
    std::lock_guard lock(mutex);
    return state;
}

std::optional<Error> FfmpegMovieWriter::error() const {
    std::lock_guard lock(mutex);
    return failure;
}

void FfmpegMovieWriter::encodeLoop() {
    for (;;) {
        std::unique_lock lock(mutex);
        wakeUp.wait(lock,
                    [this] { return cancelRequested || !pending.empty() || finishRequested; });
        if (cancelRequested) {
            return;
        }
        if (!pending.empty()) {
            const PendingFrame frame = std::move(pending.front());
            pending.pop_front();
            if (state != Status::writing) {
                continue;
            }
            lock.unlock();
            if (const std::optional<Error> encodeFailure = encode(frame)) {
                fail(*encodeFailure);
            }
            continue;
        }
        const bool healthy = state == Status::writing;
        lock.unlock();
        if (healthy) {
            if (const std::optional<Error> closeFailure = closeMovie()) {
                fail(*closeFailure);
            }
        } else if (framesInFile > 0) {
            // Only an ordinary movie's worth of space may be missing; the fragments play
            // either way.
            completeMovie(path, std::nullopt);
        }
        lock.lock();
        if (state == Status::writing) {
            state = Status::completed;
        }
        fileSettled = true;
        FinishHandler done = std::move(finishHandler);
        const Status finalState = state;
        const std::optional<Error> finalFailure = failure;
        lock.unlock();
        if (done) {
            done(finalState, finalFailure);
        }
        return;
    }
}

std::optional<Error> FfmpegMovieWriter::encode(const PendingFrame& frame) {
    const int writable = av_frame_make_writable(picture.get());
    if (writable < 0) {
        return ffmpegError(writable);
    }
    av_image_copy_plane(source->data[0], source->linesize[0], frame.pixels.constBits(),
                        static_cast<int>(frame.pixels.bytesPerLine()), size.width() * 4,
                        size.height());
    sws_scale(converter.get(), source->data, source->linesize, 0, size.height(), picture->data,
              picture->linesize);
    picture->pts = frame.pts;
    const int sent = avcodec_send_frame(codec.get(), picture.get());
    if (sent < 0) {
        return ffmpegError(sent);
    }
    return drainPackets();
}

std::optional<Error> FfmpegMovieWriter::drainPackets() {
    for (;;) {
        const int received = avcodec_receive_packet(codec.get(), packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return std::nullopt;
        }
        if (received < 0) {
            return ffmpegError(received);
        }
        // Each fragment states its own start, so this duration only matters for the last
        // frame; finishing gives every frame its true one.
        packet->duration = nominalFrameDuration;
        packet->stream_index = stream->index;
        av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
        // The muxer would date each fragment by the durations before it; marking it
        // discontinuous dates it by its own time stamp, which is the capture's.
        av_opt_set(format->priv_data, "movflags", "+frag_discont", 0);
        const int written = av_write_frame(format.get(), packet.get());
        av_packet_unref(packet.get());
        const int cut = written < 0 ? written : av_write_frame(format.get(), nullptr);
        if (cut < 0) {
            return ffmpegError(cut);
        }
        avio_flush(format->pb);
        if (format->pb->error < 0) {
            return ffmpegError(format->pb->error);
        }
        wholeFragmentsEnd = avio_tell(format->pb);
        ++framesInFile;
    }
}

std::optional<Error> FfmpegMovieWriter::closeMovie() {
    const int flushed = avcodec_send_frame(codec.get(), nullptr);
    if (flushed < 0) {
        return ffmpegError(flushed);
    }
    if (auto failed = drainPackets()) {
        return failed;
    }
    const int trailer = av_write_trailer(format.get());
    const int closed = avio_closep(&format->pb);
    if (trailer < 0) {
        return ffmpegError(trailer);
    }
    if (closed < 0) {
        return ffmpegError(closed);
    }
    std::optional<std::chrono::nanoseconds> end;
    {
        std::lock_guard lock(mutex);
        if (endPts) {
            end = std::chrono::nanoseconds(
                av_rescale_q(*endPts, movieTimeBase, AVRational{1, 1'000'000'000}));
        }
    }
    // Without the room for an ordinary copy the fragmented movie stays: it plays as it is.
    completeMovie(path, end);
    return std::nullopt;
}

void FfmpegMovieWriter::fail(Error error) {
    FailureHandler failed;
    {
        std::lock_guard lock(mutex);
        state = Status::failed;
        failure = error;
        failed = std::move(failureHandler);
    }
    keepWhatReachedTheFile();
    if (failed) {
        failed(std::move(error));
    }
}

// A fragment cut short by the failure would end the movie in damaged data; it goes, and a
// file without a single frame goes with it.
void FfmpegMovieWriter::keepWhatReachedTheFile() {
    closeFile();
    if (framesInFile == 0) {
        QFile::remove(path);
    } else {
        QFile::resize(path, wholeFragmentsEnd);
    }
}

void FfmpegMovieWriter::stopEncoder() {
    {
        std::lock_guard lock(mutex);
        cancelRequested = true;
    }
    wakeUp.notify_one();
    if (!encoder.joinable()) {
        return;
    }
    // A finish handler may drop the last owner on the encoder thread itself; it touches
    // nothing of ours after the handler returns.
    if (encoder.get_id() == std::this_thread::get_id()) {
        encoder.detach();
    } else {
        encoder.join();
    }
}

void FfmpegMovieWriter::closeFile() {
    if (format->pb != nullptr) {
        avio_closep(&format->pb);
    }
}

}  // namespace

Result<std::unique_ptr<MovieWriter>> openQuickTimeMovieWriter(const QString& path) {
    silenceFfmpegLog();
    const QByteArray encodedPath = QFile::encodeName(path);
    AVFormatContext* allocated = nullptr;
    const int code =
        avformat_alloc_output_context2(&allocated, nullptr, "mov", encodedPath.constData());
    if (code < 0) {
        return ffmpegError(code);
    }
    FfmpegOutput format(allocated);
    const int opened = avio_open(&format->pb, encodedPath.constData(), AVIO_FLAG_WRITE);
    if (opened < 0) {
        // The library's own words are English; say in ours which file could not be made.
        return Error::platform(
            QStringLiteral("Không tạo được tệp %1 (%2)")
                .arg(QFileInfo(path).fileName(), ffmpegError(opened).description));
    }
    return std::unique_ptr<MovieWriter>(
        std::make_unique<FfmpegMovieWriter>(path, std::move(format)));
}

}  // namespace platform

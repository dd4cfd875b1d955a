#include "main/VideoRecorder/ScreenVideoRecorder.h"

#include "platform/MainQueue.h"

namespace {

// An error without a description of its own still tells the user something, the way the
// desktop's generic sentence does, naming the domain and code.
Error withoutDescription(int code) {
    return Error::program(
        code, QStringLiteral("Không thể hoàn tất thao tác. (Quorvastelin lỗi %1.)").arg(code));
}

Error encoderRefused() {
    return Error::program(20, QStringLiteral("Không thể tạo bộ mã hóa video"));
}
Error unfinishedMovie() {
    return withoutDescription(21);
}
Error noFrames() {
    return Error::program(22, QStringLiteral("Video chưa có khung hình"));
}
Error writerDidNotStart() {
    return withoutDescription(23);
}
Error frameRefused() {
    return Error::program(24, QStringLiteral("Không thể ghi khung hình video"),
                          QStringLiteral("Quorvastelin.VideoRecorder"));
}

}  // namespace

Result<std::shared_ptr<ScreenVideoRecorder>> ScreenVideoRecorder::create(
    const platform::StreamConfiguration& configuration, const QString& outputURL,
    const RecorderPlatform& platform) {
    auto opened = platform.makeMovieWriter(outputURL);
    if (!opened.ok()) {
        return opened.error();
    }
    std::unique_ptr<platform::MovieWriter> writer = std::move(opened).value();
    if (!writer->addVideoTrack(platform::MovieSettings{configuration.outputSize})) {
        return encoderRefused();
    }
    std::shared_ptr<ScreenVideoRecorder> recorder(
        new ScreenVideoRecorder(outputURL, std::move(writer), platform.clock));
    std::weak_ptr<ScreenVideoRecorder> weak = recorder;
    // A writer that fails (a full disk) ends the recording at once, keeping what it wrote.
    std::weak_ptr<platform::SerialQueue> failureQueue = recorder->queue;
    recorder->writer->setFailureHandler([weak, failureQueue](Error failure) {
        if (auto queue = failureQueue.lock()) {
            queue->async([weak, failure] {
                if (auto self = weak.lock()) {
                    self->recordingError = failure;
                    self->finish(self->clock());
                }
            });
        }
    });
    auto stream = platform.makeScreenStream(configuration, *recorder->queue,
                                            [weak](platform::StreamFrame frame) {
                                                if (auto self = weak.lock()) {
                                                    self->handle(std::move(frame));
                                                }
                                            });
    if (!stream.ok()) {
        return stream.error();
    }
    recorder->stream = std::move(stream).value();
    return recorder;
}

ScreenVideoRecorder::ScreenVideoRecorder(QString outputURL,
                                         std::unique_ptr<platform::MovieWriter> writer,
                                         std::function<std::chrono::nanoseconds()> clock)
    : outputURL(std::move(outputURL)),
      writer(std::move(writer)),
      clock(std::move(clock)),
      queue(std::make_shared<platform::SerialQueue>("Quorvastelin.VideoRecorder")) {}

ScreenVideoRecorder::~ScreenVideoRecorder() {
    stream.reset();
    // The last owner may be a task on the queue, and a queue cannot join its own thread.
    if (queue->isCurrent()) {
        platform::dispatchMain([queue = std::move(queue)] {});
    }
}

void ScreenVideoRecorder::start(Completion completion, StartHandler started) {
    this->completion = std::move(completion);
    std::weak_ptr<ScreenVideoRecorder> weak = weak_from_this();
    stream->start([weak, started = std::move(started)](std::optional<Error> failure) {
        platform::dispatchMain([weak, started, failure] {
            if (!weak.expired()) {
                started(failure);
            }
        });
    });
}

void ScreenVideoRecorder::stop() {
    std::weak_ptr<ScreenVideoRecorder> weak = weak_from_this();
    // The user stops now; the queue may get to it a little later.
    queue->async([weak, stopTime = clock()] {
        if (auto self = weak.lock()) {
            self->finish(stopTime);
        }
    });
}

void ScreenVideoRecorder::finish(std::chrono::nanoseconds endTime) {
    if (stopping) {
        return;
    }
    stopping = true;
    stopTime = endTime;
    // The stream answers on its own thread, which only hands the closing step back here.
    std::weak_ptr<ScreenVideoRecorder> weak = weak_from_this();
    std::weak_ptr<platform::SerialQueue> closingQueue = queue;
    stream->stop([weak, closingQueue](std::optional<Error> failure) {
        if (failure) {
            report(weak, *failure);
            return;
        }
        if (auto queue = closingQueue.lock()) {
            queue->async([weak] {
                if (auto recorder = weak.lock()) {
                    recorder->close();
                }
            });
        }
    });
}

void ScreenVideoRecorder::handle(platform::StreamFrame frame) {
    // A stream that ends by itself ends the recording as a stop would, keeping what it has.
    if (frame.status == platform::FrameStatus::stopped) {
        finish(frame.presentationTime);
        return;
    }
    if (stopping || writerFailed || frame.status != platform::FrameStatus::complete) {
        return;
    }
    if (!writingStarted) {
        beginWriting(frame.presentationTime);
        if (!writingStarted) {
            return;
        }
    }
    // Real-time input: a frame the encoder cannot take now is dropped, not held.
    if (!writer->isReadyForMoreMediaData()) {
        return;
    }
    if (!writer->append(frame.pixels, frame.presentationTime)) {
        recordingError = writer->error().value_or(frameRefused());
    }
}

void ScreenVideoRecorder::beginWriting(std::chrono::nanoseconds firstFrameTime) {
    if (!writer->startWriting()) {
        writerFailed = true;
        const Error failure = writer->error().value_or(writerDidNotStart());
        writer->cancelWriting();
        report(weak_from_this(), failure);
        return;
    }
    writer->startSession(firstFrameTime);
    writingStarted = true;
}

void ScreenVideoRecorder::close() {
    std::weak_ptr<ScreenVideoRecorder> weak = weak_from_this();
    if (!writingStarted) {
        writer->cancelWriting();
        report(weak, noFrames());
        return;
    }
    // After a failure the frames written so far are still the user's: the movie is finished
    // with them and the failure reported beside it.
    if (!recordingError) {
        writer->endSession(stopTime);
    }
    writer->finishWriting([weak, url = outputURL, recordingError = recordingError](
                              platform::MovieWriter::Status status, std::optional<Error> failure) {
        if (recordingError) {
            report(weak, *recordingError);
        } else if (status == platform::MovieWriter::Status::completed) {
            report(weak, url);
        } else {
            report(weak, failure.value_or(unfinishedMovie()));
        }
    });
}

void ScreenVideoRecorder::report(std::weak_ptr<ScreenVideoRecorder> recorder,
                                 Result<QString> result) {
    platform::dispatchMain([recorder = std::move(recorder), result = std::move(result)] {
        // Held until the step ends: the owner usually drops its own reference in the callback.
        auto self = recorder.lock();
        if (!self) {
            return;
        }
        Completion callback = std::move(self->completion);
        self->completion = nullptr;
        if (callback) {
            callback(result);
        }
    });
}

#pragma once

#include "platform/ScreenStream.h"

#include <memory>

// Stands in for the screen: the test decides which frames arrive and when, and how start and
// stop answer.
struct FakeStreamControl {
    platform::StreamConfiguration configuration;
    platform::SerialQueue* queue = nullptr;
    platform::ScreenStream::FrameHandler handler;
    std::optional<Error> startFailure;
    std::optional<Error> stopFailure;
    // When set, stop answers only when the test calls releaseStop().
    bool holdStop = false;
    platform::ScreenStream::Completion heldStop;
    int starts = 0;
    int stops = 0;

    void deliver(platform::StreamFrame frame) {
        queue->async([handler = handler, frame = std::move(frame)] { handler(frame); });
    }
    void releaseStop() {
        if (heldStop) {
            std::exchange(heldStop, nullptr)(stopFailure);
        }
    }
};

class FakeScreenStream : public platform::ScreenStream {
  public:
    explicit FakeScreenStream(std::shared_ptr<FakeStreamControl> control)
        : control(std::move(control)) {}
    void start(Completion completion) override {
        ++control->starts;
        completion(control->startFailure);
    }
    void stop(Completion completion) override {
        ++control->stops;
        if (control->holdStop) {
            control->heldStop = std::move(completion);
            return;
        }
        completion(control->stopFailure);
    }

  private:
    std::shared_ptr<FakeStreamControl> control;
};

inline platform::ScreenStreamFactory fakeScreenStreams(std::shared_ptr<FakeStreamControl> control) {
    return [control](const platform::StreamConfiguration& configuration,
                     platform::SerialQueue& queue, platform::ScreenStream::FrameHandler handler)
               -> Result<std::unique_ptr<platform::ScreenStream>> {
        control->configuration = configuration;
        control->queue = &queue;
        control->handler = std::move(handler);
        return std::unique_ptr<platform::ScreenStream>(std::make_unique<FakeScreenStream>(control));
    };
}

#pragma once

#include "platform/ScreenStream.h"

#include <memory>

// Stands in for the screen: the test decides which frames arrive and when stop answers.
struct FakeStreamControl {
    platform::SerialQueue* queue = nullptr;
    platform::ScreenStream::FrameHandler handler;
    // When set, stop answers only when the test calls releaseStop().
    bool holdStop = false;
    platform::ScreenStream::Completion heldStop;
    int stops = 0;

    void deliver(platform::StreamFrame frame) {
        queue->async([handler = handler, frame = std::move(frame)] { handler(frame); });
    }
    void releaseStop() {
        if (heldStop) {
            std::exchange(heldStop, nullptr)(std::nullopt);
        }
    }
};

class FakeScreenStream : public platform::ScreenStream {
  public:
    explicit FakeScreenStream(std::shared_ptr<FakeStreamControl> control)
        : control(std::move(control)) {}
    void start(Completion completion) override { completion(std::nullopt); }
    void stop(Completion completion) override {
        ++control->stops;
        if (control->holdStop) {
            control->heldStop = std::move(completion);
            return;
        }
        completion(std::nullopt);
    }

  private:
    std::shared_ptr<FakeStreamControl> control;
};

inline platform::ScreenStreamFactory fakeScreenStreams(std::shared_ptr<FakeStreamControl> control) {
    return [control](const platform::StreamConfiguration&, platform::SerialQueue& queue,
                     platform::ScreenStream::FrameHandler handler)
               -> Result<std::unique_ptr<platform::ScreenStream>> {
        control->queue = &queue;
        control->handler = std::move(handler);
        return std::unique_ptr<platform::ScreenStream>(std::make_unique<FakeScreenStream>(control));
    };
}

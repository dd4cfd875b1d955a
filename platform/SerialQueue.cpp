#include "platform/SerialQueue.h"

#include <pthread.h>

namespace platform {

SerialQueue::SerialQueue(std::string label) : name(std::move(label)) {
    worker = std::thread([this] { run(); });
    // Thread names are limited to 15 characters; the tail of the label is the telling part.
    const std::string shortName = name.size() > 15 ? name.substr(name.size() - 15) : name;
    pthread_setname_np(worker.native_handle(), shortName.c_str());
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex);
        closing = true;
    }
    wakeUp.notify_one();
    worker.join();
}

void SerialQueue::async(std::function<void()> task) {
    {
        std::lock_guard lock(mutex);
        tasks.push_back(std::move(task));
    }
    wakeUp.notify_one();
}

void SerialQueue::run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex);
            wakeUp.wait(lock, [this] { return closing || !tasks.empty(); });
            if (tasks.empty()) {
                return;
            }
            task = std::move(tasks.front());
            tasks.pop_front();
        }
        task();
    }
}

}  // namespace platform

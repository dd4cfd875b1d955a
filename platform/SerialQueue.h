#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

// One worker thread running tasks in the order they were queued. Destruction runs the tasks
// already queued, then joins the worker.
class SerialQueue {
  public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> task);
    bool isCurrent() const { return std::this_thread::get_id() == worker.get_id(); }

  private:
    void run();

    std::string name;
    std::mutex mutex;
    std::condition_variable wakeUp;
    std::deque<std::function<void()>> tasks;
    bool closing = false;
    std::thread worker;
};

}  // namespace platform

#pragma once

#include <chrono>
#include <functional>

namespace platform {

// Queues work for a later turn of the GUI thread's event loop; safe to call from any thread.
void dispatchMain(std::function<void()> work);

// Runs work on the GUI thread once the delay has passed; the GUI thread never sleeps for it.
void dispatchMainAfter(std::chrono::milliseconds delay, std::function<void()> work);

}  // namespace platform

// Waiting for something another thread makes happen: a poll with a generous deadline instead of a fixed
// sleep, so that a slow machine only waits longer and a fast one does not wait at all.
#pragma once

#include <chrono>
#include <thread>

namespace vtest {

// True as soon as cond() holds, false when the deadline passes first.
template <class Cond> bool WaitFor(Cond cond, std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
    auto end = std::chrono::steady_clock::now() + deadline;
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace vtest

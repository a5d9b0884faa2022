#include "dataset/DAHooks.h"

#include <atomic>
#include <chrono>

TDAHooks& DAHooks() {
    static TDAHooks hooks;
    return hooks;
}

void TQueuePoster::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
    }
    cv_.notify_all();
}

size_t TQueuePoster::RunPending() {
    size_t n = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return n;
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task();
        ++n;
    }
}

size_t TQueuePoster::WaitAndRun(int timeoutMs) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !queue_.empty(); });
    }
    return RunPending();
}

size_t TQueuePoster::PendingCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

namespace {
std::atomic<MainThreadPoster*> g_poster{nullptr};
}

MainThreadPoster* GetMainThreadPoster() {
    return g_poster.load();
}
void SetMainThreadPoster(MainThreadPoster* poster) {
    g_poster.store(poster);
}

#include "app/WorksheetRunner.h"

#include "dataset/DAHooks.h"

#include <atomic>
#include <mutex>
#include <stdexcept>

// One run. `running` and `error` are written by the work's thread under `mutex`, which it releases before
// it posts the end; Deliver takes `mutex` before it reads them, so that everything the work wrote is
// ordered before what done reads by a lock the thread checkers see (the poster's own hand-over may go
// through synchronisation they cannot see). `delivered` and `done` belong to the owning thread.
struct TWorksheetRunner::TJob {
    std::mutex mutex;
    bool running = true;
    std::atomic<bool> stopAsked{false};
    std::exception_ptr error;
    bool delivered = false;
    TDone done;
};

void TWorksheetRunner::Deliver(TJob& job) {
    if (job.delivered) return;
    std::exception_ptr error;
    {
        std::lock_guard<std::mutex> lock(job.mutex);
        if (job.running) return; // not possible: the end is posted after the work has left
        error = job.error;
        job.error = nullptr;
    }
    job.delivered = true;
    TDone done = std::move(job.done);
    job.done = nullptr;
    if (done) done(error);
}

TWorksheetRunner::TWorksheetRunner(MainThreadPoster& poster, std::function<void()> breakCall)
    : poster_(poster), break_(std::move(breakCall)) {}

TWorksheetRunner::~TWorksheetRunner() {
    if (job_ && !job_->delivered) {
        Stop();
        JoinThread();
        job_->delivered = true; // the posted end finds nothing to do
        job_->done = nullptr;
    }
    JoinThread();
}

bool TWorksheetRunner::Busy() const {
    return job_ && !job_->delivered;
}

void TWorksheetRunner::JoinThread() {
    if (thread_.joinable()) thread_.join();
}

void TWorksheetRunner::Start(TWork work, TDone done) {
    if (Busy()) throw std::logic_error("A statement is still running");
    JoinThread(); // the previous run's thread has posted its end and is leaving
    auto job = std::make_shared<TJob>();
    job->done = std::move(done);
    job_ = job;
    started_ = std::chrono::steady_clock::now();
    MainThreadPoster* poster = &poster_;
    thread_ = std::thread([job, poster, work = std::move(work)] {
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        {
            // The exception goes over whole: this thread keeps no reference to it, so that it is not
            // released here while the owning thread reads it.
            std::lock_guard<std::mutex> lock(job->mutex);
            job->error = std::move(error);
            job->running = false;
        }
        poster->Post([job] { Deliver(*job); });
    });
}

bool TWorksheetRunner::Stop() {
    if (!Busy()) return false;
    // The lock keeps the work from ending between the test and the break. Each Stop passes the break on:
    // the network client sends a marker only while a call is under way and at most one per call, so a
    // Stop that finds the work between two calls is not used up, and the next one reaches the next call.
    std::lock_guard<std::mutex> lock(job_->mutex);
    if (!job_->running) return false;
    job_->stopAsked = true;
    try {
        if (break_) break_();
    } catch (...) {
        // A connection that is already gone has nothing to break; the work ends with its own error.
    }
    return true;
}

bool TWorksheetRunner::StopRequested() const {
    // The work's thread may ask: job_ changes only in Start, after the previous run's thread has ended.
    return job_ && job_->stopAsked;
}

void TWorksheetRunner::Finish() {
    if (!Busy()) return;
    Stop();
    JoinThread();
    std::shared_ptr<TJob> job = job_; // done may start the next run
    Deliver(*job);
}

int TWorksheetRunner::ElapsedSeconds() const {
    if (!Busy()) return 0;
    return int(std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_)
                   .count());
}

TCallLimit::TCallLimit(std::function<void()> cut, int limitMs) {
    watchdog_ = std::thread([this, cut = std::move(cut), limitMs] {
        std::unique_lock<std::mutex> lock(m_);
        if (cv_.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return finished_; })) return;
        cut_ = true;
        lock.unlock(); // the cut may take its own locks; the owner's destructor waits for it by joining
        try {
            if (cut) cut();
        } catch (...) {
            // A connection that is already gone has no line left to cut.
        }
    });
}

TCallLimit::~TCallLimit() {
    {
        std::lock_guard<std::mutex> g(m_);
        finished_ = true;
    }
    cv_.notify_one();
    watchdog_.join();
}

bool TCallLimit::Cut() const {
    std::lock_guard<std::mutex> g(m_);
    return cut_;
}

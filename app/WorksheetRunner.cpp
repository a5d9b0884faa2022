#include "app/WorksheetRunner.h"

#include "dataset/DAHooks.h"

#include <atomic>
#include <mutex>
#include <stdexcept>

// One run. `running` and `breakSent` are shared with the work's thread under `mutex`; `error` is written by
// that thread before it posts the end and read by the owning thread after it (the poster orders the two);
// `delivered` and `done` belong to the owning thread.
struct TWorksheetRunner::TJob {
    std::mutex mutex;
    bool running = true;
    bool breakSent = false;
    std::atomic<bool> stopAsked{false};
    std::exception_ptr error;
    bool delivered = false;
    TDone done;
};

void TWorksheetRunner::Deliver(TJob& job) {
    if (job.delivered) return;
    job.delivered = true;
    TDone done = std::move(job.done);
    job.done = nullptr;
    if (done) done(job.error);
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
        job->error = error;
        {
            std::lock_guard<std::mutex> lock(job->mutex);
            job->running = false;
        }
        poster->Post([job] { Deliver(*job); });
    });
}

bool TWorksheetRunner::Stop() {
    if (!Busy()) return false;
    // The lock keeps the work from ending between the test and the marker, so that a break does not reach
    // a server that has already answered the last call.
    std::lock_guard<std::mutex> lock(job_->mutex);
    if (!job_->running || job_->breakSent) return false;
    job_->stopAsked = true;
    job_->breakSent = true;
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

// Hooks through which the SQL framework reaches the user interface without knowing it: the wait cursor, the
// cursor notification of non-blocking calls, the SQL monitor / debug window, and the main-thread poster that
// carries completions of background work back to the thread that owns the components.
//
// Everything here is process-wide and empty by default; the GUI installs its implementations at start-up,
// tests and the command-line program install their own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

// What the framework announces to the SQL monitor before and after an operation.
enum TDAMonitorKind : int {
    mkConnect,
    mkDisconnect,
    mkPrepare,
    mkExecute,
    mkOpen,
    mkRefresh,
    mkCommit,
    mkRollback,
    mkStartTransaction,
    mkError
};

struct TDAMonitorInfo {
    TDAMonitorKind Kind = mkExecute;
    bool Before = true;
    bool Debug = false;    // the component's Debug flag: the debug window shows the statement first
    std::string Component; // name of the announcing component
    std::string Label;     // "Refresh" for refreshes, else empty
    std::string SQL;
    std::string Params; // "NAME=value" pairs, one per line
    std::string Error;  // mkError: the message
};

struct TDAHooks {
    std::function<void()> StartWait;    // a blocking server call starts
    std::function<void()> StopWait;     // ... and ends
    std::function<void()> CursorNotify; // a non-blocking call starts (replaces StartWait)
    // Called when MonitorActive is on or the component's Debug is on.
    std::function<void(const TDAMonitorInfo&)> Monitor;
    bool MonitorActive = false;
};

// The process-wide hooks.
TDAHooks& DAHooks();

// Carries a task to the thread that owns the components. Post may be called from any thread.
class MainThreadPoster {
public:
    virtual ~MainThreadPoster() = default;
    virtual void Post(std::function<void()> task) = 0;
};

// A queue for tests and the command-line program: the owning thread runs the posted tasks when it pumps.
class TQueuePoster : public MainThreadPoster {
public:
    void Post(std::function<void()> task) override;
    // Runs every task posted so far (and those they post); returns the number run.
    size_t RunPending();
    // Waits up to timeoutMs for a task, then runs the pending ones; returns the number run.
    size_t WaitAndRun(int timeoutMs);
    size_t PendingCount();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
};

// The poster the server layers use for completions (nil until one is installed).
MainThreadPoster* GetMainThreadPoster();
void SetMainThreadPoster(MainThreadPoster* poster);

// Runs one worksheet statement at a time on a thread of its own. The owning thread (the GUI thread) starts a
// run and gets its end back through a MainThreadPoster; while the run goes on, the only thing the owning
// thread may do with the session is Stop, which sends the break (the one call the network client accepts
// from another thread). Nothing here knows Qt.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class MainThreadPoster;

class TWorksheetRunner {
public:
    using TWork = std::function<void()>;
    // Called on the owning thread with the work's exception, or nullptr after success.
    using TDone = std::function<void(std::exception_ptr)>;

    // breakCall interrupts the server call in progress; it is called from the owning thread while the work's
    // thread waits for a reply.
    TWorksheetRunner(MainThreadPoster& poster, std::function<void()> breakCall);
    // Stops a run still going and waits for its thread; its end is dropped.
    ~TWorksheetRunner();
    TWorksheetRunner(const TWorksheetRunner&) = delete;
    TWorksheetRunner& operator=(const TWorksheetRunner&) = delete;

    // True from Start until done has been called (or the run was finished or dropped).
    bool Busy() const;
    // Starts work on a new thread; done follows on the owning thread. Fails while Busy.
    void Start(TWork work, TDone done);
    // While the work is still running: asks it to stop and passes the break on (again at every Stop: the
    // break itself interrupts only a server call under way); otherwise nothing. True when the work was
    // still running.
    bool Stop();
    // True once Stop was asked for during the current run. Work that does more than one server call (a
    // walk over every row, one table after another) asks between its steps, from its own thread.
    bool StopRequested() const;
    // Ends a run now: Stop, wait for the thread and call done here, before this returns. Nothing while idle.
    void Finish();
    // Whole seconds since Start (0 while idle).
    int ElapsedSeconds() const;

private:
    struct TJob;
    static void Deliver(TJob& job);
    void JoinThread();

    MainThreadPoster& poster_;
    std::function<void()> break_;
    std::shared_ptr<TJob> job_;
    std::thread thread_;
    std::chrono::steady_clock::time_point started_{};
};

// A time limit for server calls that must not wait for ever (the statements and the logoff of closing or
// logging on again): while it lives, a watchdog thread waits limitMs and then calls cut, which ends the
// session's calls in flight at once (the line is cut; the session is lost). The destructor ends the watchdog
// without cutting when the calls finished in time.
class TCallLimit {
public:
    TCallLimit(std::function<void()> cut, int limitMs);
    ~TCallLimit();
    TCallLimit(const TCallLimit&) = delete;
    TCallLimit& operator=(const TCallLimit&) = delete;
    // True once the limit passed and the line was cut.
    bool Cut() const;

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool finished_ = false;
    bool cut_ = false;
    std::thread watchdog_;
};

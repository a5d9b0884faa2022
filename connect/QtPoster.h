// Carries tasks from any thread to the GUI thread through Qt's event loop. The tasks go over in a queue
// under a lock of its own, so that the hand-over, and everything a task carries, is ordered for the thread
// checkers as well (Qt's own locks are invisible to them). The GUI thread is woken by a queued call by name,
// whose event Qt makes itself: an application event filter that looks at it reads nothing a worker wrote.
#pragma once

#include "dataset/DAHooks.h"

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

class TQtPoster : public QObject, public MainThreadPoster {
    Q_OBJECT
public:
    // Lives on the GUI thread; tasks posted after it is gone are not run (nor may they be posted then).
    TQtPoster() = default;

    void Post(std::function<void()> task) override;

protected:
    // Runs one task on the GUI thread; a subclass may catch what it raises (else it goes on to the
    // application's notify, as any event handler's exception).
    virtual void Run(const std::function<void()>& task) { task(); }

private:
    // One call per task, in the order posted: a task that raises leaves the others to their own calls.
    Q_INVOKABLE void RunOne();

    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

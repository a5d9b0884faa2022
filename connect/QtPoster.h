// Carries tasks from any thread to the GUI thread through Qt's event loop. The tasks go over in a queue
// under a lock of its own, so that the hand-over, and everything a task carries, is ordered for the thread
// checkers as well (Qt's own locks are invisible to them); the event that wakes the GUI thread carries
// nothing of ours and is not looked at.
#pragma once

#include "dataset/DAHooks.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

class TQtPoster : public QObject, public MainThreadPoster {
public:
    // Lives on the GUI thread; tasks posted after it is gone are not run.
    TQtPoster() = default;

    void Post(std::function<void()> task) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

protected:
    // Runs one task on the GUI thread; a subclass may catch what it raises (else it goes on to the
    // application's notify, as any event handler's exception).
    virtual void Run(const std::function<void()>& task) { task(); }

    // One event per task, in the order posted: a task that raises leaves the others to their own events.
    void customEvent(QEvent*) override {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        Run(task);
    }

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

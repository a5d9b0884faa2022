#include "connect/QtPoster.h"

void TQtPoster::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    QMetaObject::invokeMethod(this, "RunOne", Qt::QueuedConnection);
}

void TQtPoster::RunOne() {
    std::function<void()> task;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    Run(task);
}

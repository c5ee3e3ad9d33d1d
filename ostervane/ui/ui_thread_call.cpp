// The queue of work from workers, served by the UI thread's event loop or by WaitServing.
#include "ostervane/ui/ui_thread_call.h"

#include <thread>

#include <QThread>

namespace ostervane::ui {

UiThreadCall::UiThreadCall(QObject *parent) : QObject(parent) {}

bool UiThreadCall::OnUiThread() const {
    return QThread::currentThread() == thread();
}

bool UiThreadCall::Run(const std::function<void()> &work) {
    if (OnUiThread()) {
        if (IsInert()) {
            return false;
        }
        work();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->work = work;
    {
        std::lock_guard lock(mutex_);
        if (inert_) {
            return false;
        }
        queue_.push_back(call);
    }
    changed_.notify_all();
    QMetaObject::invokeMethod(this, "ServeQueued", Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return call->done || inert_; });
    return call->done;
}

void UiThreadCall::ServeQueued() {
    for (;;) {
        std::shared_ptr<Call> call;
        {
            std::lock_guard lock(mutex_);
            if (inert_ || queue_.empty()) {
                return;
            }
            call = queue_.front();
            queue_.pop_front();
        }
        call->work();
        {
            std::lock_guard lock(mutex_);
            call->done = true;
        }
        changed_.notify_all();
    }
}

void UiThreadCall::WaitServing(const std::function<void()> &blocking) {
    bool finished = false;
    std::thread helper([&] {
        blocking();
        {
            std::lock_guard lock(mutex_);
            finished = true;
        }
        changed_.notify_all();
    });
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return finished || (!queue_.empty() && !inert_); });
            if (finished) {
                break;
            }
        }
        ServeQueued();
    }
    helper.join();
    ServeQueued();
}

void UiThreadCall::MakeInert() {
    {
        std::lock_guard lock(mutex_);
        inert_ = true;
        queue_.clear();
    }
    changed_.notify_all();
}

bool UiThreadCall::IsInert() const {
    std::lock_guard lock(mutex_);
    return inert_;
}

} // namespace ostervane::ui

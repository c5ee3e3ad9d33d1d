// UiThreadCall: runs work from worker threads on the UI thread while the worker waits, and can
// be made inert, which releases every waiting worker at once, so that the UI thread may join
// workers without a deadlock.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include <QObject>

namespace ostervane::ui {

class UiThreadCall : public QObject {
    Q_OBJECT

public:
    // The UI thread is the one that makes the object.
    explicit UiThreadCall(QObject *parent = nullptr);

    bool OnUiThread() const;

    // Runs `work` on the UI thread: at once when called there, otherwise queued while the
    // caller waits.  Returns false, without running it, once inert; a worker waiting when the
    // object turns inert returns false at once, so `work` must not touch the caller's stack
    // after entering a nested event loop (a message box).
    bool Run(const std::function<void()> &work);

    // UI thread: runs `blocking` on a helper thread and meanwhile carries out the work that
    // workers queue, so a worker the blocking step waits for never waits on the UI thread in vain.
    void WaitServing(const std::function<void()> &blocking);

    // UI thread: from now on no work runs and waiting workers are released.
    void MakeInert();
    bool IsInert() const;

private:
    struct Call {
        std::function<void()> work;
        bool done = false;
    };

    // Posted by name, so the queued call is made and freed inside Qt.
    Q_INVOKABLE void ServeQueued();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Call>> queue_;
    bool inert_ = false;
};

} // namespace ostervane::ui

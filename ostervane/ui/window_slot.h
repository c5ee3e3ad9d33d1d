// WindowSlot: one device slot of the main window (label, status line, progress bar), and the
// slot callback that applies every job's event to it on the UI thread while the job waits.
#pragma once

#include <functional>

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include "ostervane/core/device_slot.h"
#include "ostervane/core/run_log.h"
#include "ostervane/core/slot_progress.h"
#include "ostervane/ui/ui_thread_call.h"

namespace ostervane::ui {

class WindowSlot final : public DeviceSlot {
public:
    // `window` is repainted after every event; `closeWindow` closes it (from the UI thread).
    WindowSlot(QLabel *label, QLabel *status, QProgressBar *bar, QWidget *window, RunLog *log,
               std::function<void()> closeWindow);

    void SetStatus(const std::string &text) override;
    void SetLabel(const std::string &text) override;
    void ShowLabelAndStatus() override;
    void StartProgress(uint16_t blocks) override;
    void StepProgress() override;
    void EndProgress() override;
    void CloseWindow() override;
    void WriteLogLine(const std::string &text) override;
    void Repaint() override;

private:
    void ShowProgress();

    QLabel *label_;
    QLabel *status_;
    QProgressBar *bar_;
    QWidget *window_;
    RunLog *log_;
    std::function<void()> closeWindow_;
    SlotProgress progress_;
};

// The callback every job and link of the window gets: events are applied on the UI thread, at
// once when already there, otherwise through `calls` while the reporting thread waits.  Once
// `calls` is inert, events are dropped.
SlotCallback WindowSlotCallback(UiThreadCall &calls);

} // namespace ostervane::ui

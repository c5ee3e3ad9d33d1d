// The slot's controls, driven by the event table.
#include "ostervane/ui/window_slot.h"

#include <algorithm>

namespace ostervane::ui {

WindowSlot::WindowSlot(QLabel *label, QLabel *status, QProgressBar *bar, QWidget *window,
                       RunLog *log, std::function<void()> closeWindow)
    : label_(label), status_(status), bar_(bar), window_(window), log_(log),
      closeWindow_(std::move(closeWindow)) {}

void WindowSlot::SetStatus(const std::string &text) {
    status_->setText(QString::fromStdString(text));
}

void WindowSlot::SetLabel(const std::string &text) {
    label_->setText(QString::fromStdString(text));
}

void WindowSlot::ShowLabelAndStatus() {
    label_->show();
    status_->show();
}

void WindowSlot::StartProgress(uint16_t blocks) {
    progress_.Start(blocks);
    ShowProgress();
}

void WindowSlot::StepProgress() {
    progress_.Step();
    ShowProgress();
}

void WindowSlot::EndProgress() {
    progress_.End();
    ShowProgress();
}

// A range of 0 to 0 would make the bar a busy indicator; an empty transfer shows an empty bar.
void WindowSlot::ShowProgress() {
    bar_->setRange(0, std::max(progress_.maximum, 1));
    bar_->setValue(progress_.position);
    bar_->setVisible(progress_.visible);
}

void WindowSlot::CloseWindow() {
    if (closeWindow_) {
        closeWindow_();
    }
}

void WindowSlot::WriteLogLine(const std::string &text) {
    if (log_ != nullptr) {
        log_->WriteLogLine(text);
    }
}

void WindowSlot::Repaint() {
    window_->repaint();
}

SlotCallback WindowSlotCallback(UiThreadCall &calls) {
    return [&calls](uint32_t code, const void *data, DeviceSlot *slot) {
        if (slot == nullptr) {
            return;
        }
        calls.Run([&] { ApplySlotEvent(code, data, *slot); });
    };
}

} // namespace ostervane::ui

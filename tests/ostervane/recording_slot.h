// A device slot that records what it was told, for tests of jobs and the event table.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ostervane/core/device_slot.h"

namespace ostervane::testing {

class RecordingSlot : public DeviceSlot {
public:
    void SetStatus(const std::string &text) override {
        Add("status " + text);
        status = text;
    }
    void SetLabel(const std::string &text) override {
        Add("label " + text);
        label = text;
    }
    void ShowLabelAndStatus() override {
        Add("show");
        shown = true;
    }
    void StartProgress(uint16_t blocks) override {
        Add("progress " + std::to_string(blocks));
        barVisible = true;
        barRange = blocks;
        barPosition = 0;
    }
    void StepProgress() override {
        Add("step");
        ++barPosition;
    }
    void EndProgress() override {
        Add("end");
        barVisible = false;
        barPosition = 0;
    }
    void CloseWindow() override {
        Add("close");
        closed = true;
    }
    void WriteLogLine(const std::string &text) override {
        Add("log " + text);
        logLines.push_back(text);
    }
    void Repaint() override { ++repaints; }

    std::vector<std::string> Events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

    std::string status, label;
    bool shown = false, barVisible = false, closed = false;
    int barRange = 0, barPosition = 0, repaints = 0;
    std::vector<std::string> logLines;

private:
    void Add(const std::string &event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    std::mutex mutex_;
    std::vector<std::string> events_;
};

} // namespace ostervane::testing

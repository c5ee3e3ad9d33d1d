// The slot event table, the status texts and the run log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ostervane/core/run_log.h"
#include "ostervane/core/slot_event.h"
#include "ostervane/core/status_text.h"
#include "recording_slot.h"

namespace ostervane {
namespace {

using testing::RecordingSlot;

TEST(StatusText, ProgramFailuresHaveTextsOthersShowTheirNumber) {
    EXPECT_EQ(JobErrorText(ErrNoSmallRom), "No Small ROM Found");
    EXPECT_EQ(JobErrorText(ErrNoBigRom), "No Big ROM Found");
    EXPECT_EQ(JobErrorText(ErrRead), "USB Read Error");
    EXPECT_EQ(JobErrorText(ErrWrite), "USB Write Error");
    EXPECT_EQ(JobErrorText(ErrWrongDevice), "Wrong Device For ROM");
    EXPECT_EQ(JobErrorText(ErrCannotOpenFile), "Cannot open ROM file");
    EXPECT_EQ(JobErrorText(ErrBadSignature), "Bad Packet Signature");
    EXPECT_EQ(JobErrorText(ErrRomChecksum), "ROM Checksum Failed");
    EXPECT_EQ(JobErrorText(ErrNoResponse), "Error: 32775");
    EXPECT_EQ(JobErrorText(774), "Error: 774");
    EXPECT_EQ(JobErrorText(-5), "Error: -5");
}

TEST(SlotEvents, FixedTextsGoToTheStatusLine) {
    const std::pair<uint32_t, const char *> cases[] = {
        {EvDeviceFound, "Device Found"},     {EvLoadingRom, "Loading ROM"},
        {EvLoadingDriver, "Loading Driver"}, {EvFlashingWait, "Flashing ROM - Please Wait"},
        {EvFlashing, "Flashing ROM"},        {EvResetting, "Reset..."},
        {EvSavingRom, "Saving ROM"},         {EvPortBusy, "COM Port Busy"},
    };
    for (auto [code, text] : cases) {
        RecordingSlot slot;
        ApplySlotEvent(code, nullptr, slot);
        EXPECT_EQ(slot.status, text) << code;
        EXPECT_EQ(slot.repaints, 1);
    }
}

TEST(SlotEvents, WaitingProgressFailureAndLog) {
    RecordingSlot slot;
    ApplySlotEvent(EvSlotWaiting, "ttyUSB0", slot);
    EXPECT_EQ(slot.label, "ttyUSB0");
    EXPECT_TRUE(slot.shown);
    EXPECT_EQ(slot.status, "Waiting...");

    uint16_t blocks = 3;
    ApplySlotEvent(EvProgressStart, &blocks, slot);
    ApplySlotEvent(EvProgressStep, nullptr, slot);
    ApplySlotEvent(EvProgressStep, nullptr, slot);
    EXPECT_TRUE(slot.barVisible);
    EXPECT_EQ(slot.barRange, 3);
    EXPECT_EQ(slot.barPosition, 2);
    ApplySlotEvent(EvProgressEnd, nullptr, slot);
    EXPECT_FALSE(slot.barVisible);
    EXPECT_EQ(slot.barPosition, 0);

    int32_t failure = ErrCannotOpenFile;
    ApplySlotEvent(EvJobFailed, &failure, slot);
    EXPECT_EQ(slot.status, "Cannot open ROM file");
    ApplySlotEvent(EvLogText, "ttyUSB0: End Backup", slot);
    ASSERT_EQ(slot.logLines.size(), 1u);
    EXPECT_EQ(slot.logLines[0], "ttyUSB0: End Backup");
    ApplySlotEvent(EvCloseWindow, nullptr, slot);
    EXPECT_TRUE(slot.closed);
}

TEST(SlotEvents, OnlyTheLow16BitsCountAndUnknownCodesOnlyRepaint) {
    RecordingSlot slot;
    ApplySlotEvent(0x10000 | EvSavingRom, nullptr, slot);
    EXPECT_EQ(slot.status, "Saving ROM");
    for (uint32_t code : {0u, 13u, 17u, 0xFFFFu}) {
        RecordingSlot idle;
        ApplySlotEvent(code, nullptr, idle);
        EXPECT_TRUE(idle.Events().empty()) << code;
        EXPECT_EQ(idle.repaints, 1);
    }
}

class RunLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("runlog-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        path_ = (folder_ / kLogFileName).string();
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string Contents() const {
        std::ifstream in(path_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::filesystem::path folder_;
    std::string path_;
};

TEST_F(RunLogTest, LinesAreDateTwoSpacesTimeColonTwoSpacesText) {
    setenv("LC_ALL", "C", 1);
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(RunLog::FormatLine(0, "ttyS0: Start Backup"),
              "01/01/70  00:00:00:  ttyS0: Start Backup\n");
}

TEST_F(RunLogTest, AppendsToEarlierRunsAndDropsLinesWhenClosed) {
    {
        std::ofstream earlier(path_);
        earlier << "an earlier run\n";
    }
    RunLog log([] { return std::time_t(0); });
    ASSERT_TRUE(log.Open(path_));
    log.WriteLogLine("first");
    EXPECT_EQ(Contents().substr(0, 15), "an earlier run\n") << "lines are added at the end";
    EXPECT_NE(Contents().find(":  first\n"), std::string::npos) << "flushed after every line";
    log.Close();
    log.WriteLogLine("after close");
    EXPECT_EQ(Contents().find("after close"), std::string::npos);
}

TEST_F(RunLogTest, OpeningCreatesAnEmptyFile) {
    RunLog log;
    ASSERT_TRUE(log.Open(path_));
    log.Close();
    EXPECT_TRUE(std::filesystem::exists(path_));
    EXPECT_EQ(std::filesystem::file_size(path_), 0u);
}

TEST_F(RunLogTest, LinesFromSeveralThreadsNeverInterleave) {
    RunLog log;
    ASSERT_TRUE(log.Open(path_));
    const std::string a(300, 'a'), b(300, 'b');
    std::thread first([&] {
        for (int i = 0; i < 200; i++)
            log.WriteLogLine(a);
    });
    std::thread second([&] {
        for (int i = 0; i < 200; i++)
            log.WriteLogLine(b);
    });
    first.join();
    second.join();
    log.Close();
    std::istringstream lines(Contents());
    int count = 0;
    for (std::string line; std::getline(lines, line); count++) {
        std::string text = line.substr(line.find(":  ") + 3);
        EXPECT_TRUE(text == a || text == b);
    }
    EXPECT_EQ(count, 400);
}

} // namespace
} // namespace ostervane

// A whole backup through SerialPipe over a pseudo-terminal, with handheld-sim running as a
// separate process and holding a ROM image of known content.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "link_test_support.h"
#include "ostervane/link/serial_pipe.h"

extern char **environ;

namespace ostervane {
namespace {

using namespace testing;

// handheld-sim with the given arguments; the terminal's path is the first line it prints.
class HandheldSimProcess {
public:
    explicit HandheldSimProcess(std::vector<std::string> args) {
        args.insert(args.begin(), HANDHELD_SIM_PATH);
        std::vector<char *> argv;
        for (std::string &arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        output_ = out[0];
        ReadPath();
    }
    ~HandheldSimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) {
            close(output_);
        }
    }
    const std::string &Path() const { return path_; }

private:
    void ReadPath() {
        char c;
        pollfd entry{output_, POLLIN, 0};
        while (pid_ > 0 && poll(&entry, 1, 10000) > 0 && read(output_, &c, 1) == 1 && c != '\n') {
            path_ += c;
        }
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::string path_;
};

// A 16 KB big ROM whose header gives its own length, saved as a backup would save it.
Bytes MakeImage(bool arm) {
    Bytes image(0x4000);
    std::mt19937 random(7);
    for (uint8_t &byte : image) {
        byte = uint8_t(random());
    }
    std::fill_n(image.begin(), 256, 0);
    const Bytes header = arm ? Bytes{0xEF, 0xBE, 0xED, 0xFE, 0x06, 0x00}  // rewritten by a backup
                             : Bytes{0xFE, 0xED, 0xBE, 0xEF, 0x00, 0x05}; // version 5
    std::copy(header.begin(), header.end(), image.begin() + 8);
    const Bytes length = arm ? Bytes{0x00, 0x40, 0x00, 0x00} : Bytes{0x00, 0x00, 0x40, 0x00};
    std::copy(length.begin(), length.end(), image.begin() + 108);
    if (!arm) {
        std::copy_n("MT64", 4, image.begin() + 130);
    }
    return image;
}

class BackupOverPty : public ::testing::TestWithParam<std::string> {};

TEST_P(BackupOverPty, SavedFileEqualsTheHandheldsImage) {
    const bool arm = GetParam() == "arm";
    TempDir dir;
    const Bytes image = MakeImage(arm);
    WriteFile(dir.File("image.rom"), image);
    HandheldSimProcess handheld(
        {"--model", GetParam(), "--rom", dir.File("image.rom"), "--baud", "115200"});
    ASSERT_FALSE(handheld.Path().empty());

    JobRecorder recorder;
    SerialPipe pipe(handheld.Path(), "pts", 0, nullptr, nullptr);
    DebugPacket job(recorder.Settings(dir.File("backup.rom")));
    recorder.onClose = [&job] { job.RequestStop(); };
    job.AttachPipe(&pipe);
    pipe.Start();
    ASSERT_TRUE(recorder.WaitForClose(std::chrono::seconds(30)));
    job.JoinJobThread();

    EXPECT_EQ(ReadFile(dir.File("backup.rom")), image);
    const std::vector<std::string> &log = recorder.slot.logLines;
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), arm ? "pts: ROM Start: 0x20000000" : "pts: ROM Start: 0x10000000");
    EXPECT_EQ(log.back(), "pts: End Backup");
    EXPECT_TRUE(recorder.prompter.Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Models, BackupOverPty, ::testing::Values("68k-v5", "arm"),
                         [](const auto &info) {
                             return std::string(info.param == "arm" ? "Arm" : "M68kV5");
                         });

} // namespace
} // namespace ostervane

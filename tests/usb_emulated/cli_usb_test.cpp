// ostervane-cli backup --usb and restore --usb as child processes: they inherit umockdev's
// preload and testbed from this process, whose emulated devices answer their ioctls.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

#include "usb_emulated/emulated_test_support.h"

namespace ostervane {
namespace {

using namespace testing;

const sim::HandheldModel &V5() {
    return Model("68k-v5");
}

std::string ReadText(const std::string &path) {
    Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// ostervane-cli run in `workDir` (where its run log goes), output kept in files there.
class CliProcess {
public:
    CliProcess(const std::vector<std::string> &args, const std::string &workDir)
        : out_(workDir + "/stdout.txt"), err_(workDir + "/stderr.txt") {
        std::vector<std::string> words = {OSTERVANE_CLI_PATH};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            RunChild(workDir.c_str(), argv.data());
        }
    }
    ~CliProcess() {
        if (pid_ > 0 && !exitCode_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The exit code, or nothing when it is still running after `limit` (it is then killed).
    std::optional<int> Wait(std::chrono::seconds limit = kPatience) {
        WaitUntil(
            [&] {
                int status = 0;
                if (waitpid(pid_, &status, WNOHANG) == pid_) {
                    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                }
                return exitCode_.has_value();
            },
            limit);
        return exitCode_;
    }
    std::string Out() const { return ReadText(out_); }
    std::string Err() const { return ReadText(err_); }
    bool WaitForErr(const std::string &part) {
        return WaitUntil([&] { return Contains(Err(), part); });
    }

private:
    // Only calls that are safe between fork and exec.
    [[noreturn]] void RunChild(const char *workDir, char *const *argv) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(workDir) != 0) {
            _exit(126);
        }
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(argv[0], argv);
        _exit(127);
    }

    std::string out_, err_;
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
};

TEST(CliOnEmulatedUsb, BackupWritesTheRomOfTheHandheldThatArrives) {
    TempDir dir;
    EmulatedUsbBus bus;
    auto handheld = sim::MakeHandheld(V5());
    CliProcess cli({"backup", "--usb", dir.File("out.rom")}, dir.File(""));
    ASSERT_TRUE(cli.WaitForErr("Plug in")) << cli.Err();
    EmulatedUsbDevice &device = bus.Plug(HandheldAt("1-2", *handheld));

    ASSERT_EQ(cli.Wait(), 0) << cli.Out() << cli.Err();
    EXPECT_EQ(ReadFile(dir.File("out.rom")),
              MemoryBytes(*handheld, V5().bigRomBase, kV5BackupLength));
    EXPECT_EQ(device.Observed().driver, "visor") << "the driver is given back at the end";
}

TEST(CliOnEmulatedUsb, RestoreWritesTheImageAndLeavesOtherDevicesAlone) {
    TempDir dir;
    EmulatedUsbBus bus;
    auto handheld = sim::MakeHandheld(V5());
    auto modem = sim::MakeHandheld(V5());
    Bytes image = IdentifiableImage(*handheld, V5(), 4);
    WriteFile(dir.File("image.rom"), image);
    EmulatedUsbDevice &held = bus.Add(HandheldAt("1-3", *modem, "cdc_acm"));
    CliProcess cli({"restore", "--usb", "--yes", dir.File("image.rom")}, dir.File(""));
    ASSERT_TRUE(cli.WaitForErr("Plug in")) << cli.Err();
    bus.Plug(HandheldAt("1-2", *handheld));

    ASSERT_EQ(cli.Wait(), 0) << cli.Out() << cli.Err();
    EXPECT_EQ(MemoryBytes(*handheld, V5().bigRomBase, image.size()), image);
    EXPECT_EQ(held.Observed().opens, 0);
    EXPECT_TRUE(Contains(cli.Err(), "cdc_acm")) << cli.Err();
}

} // namespace
} // namespace ostervane

// A program run by a test as a process of its own, in a folder of the test's, with its output
// kept in NAME.out and NAME.err there; killed with the object if it still runs.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ostervane::testing {

class ChildProcess {
public:
    // `words` starts with the program's path.
    ChildProcess(std::vector<std::string> words, const std::string &folder, const std::string &name)
        : out_(folder + "/" + name + ".out"), err_(folder + "/" + name + ".err") {
        std::vector<char *> argv;
        for (std::string &word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            RunChild(folder.c_str(), argv.data());
        }
    }
    ~ChildProcess() {
        if (pid_ > 0 && !exitCode_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    void Signal(int signal) const { kill(pid_, signal); }
    // The exit code (128 + the signal for a killed one), or none while it still runs after
    // `limit`.
    std::optional<int> Wait(std::chrono::seconds limit = std::chrono::seconds(60)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!exitCode_ && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return exitCode_;
    }
    std::string Out() const { return Text(out_); }
    std::string Err() const { return Text(err_); }

private:
    static std::string Text(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Only calls that are safe between fork and exec.
    [[noreturn]] void RunChild(const char *folder, char *const *argv) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(folder) != 0) {
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

} // namespace ostervane::testing

// handheld-sim run as a separate process for the tests that reach it over a pseudo-terminal:
// the terminal's path is the first line the program prints, and the process is ended with the
// object.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

namespace ostervane::testing {

class HandheldSimProcess {
public:
    // Starts `program` with `args`; Path() is empty when it did not start or printed no path
    // within ten seconds.
    HandheldSimProcess(const std::string &program, std::vector<std::string> args) {
        args.insert(args.begin(), program);
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
    HandheldSimProcess(const HandheldSimProcess &) = delete;
    HandheldSimProcess &operator=(const HandheldSimProcess &) = delete;

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

} // namespace ostervane::testing

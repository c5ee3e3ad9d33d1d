// Pieces the benchmark programs share: a private scratch folder and a stopwatch.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace bench {

// A private folder under TMPDIR (or /tmp), removed with everything in it.
class ScratchDir {
public:
    explicit ScratchDir(const std::string &prefix) {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" +
                              prefix + ".XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    std::filesystem::path file(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

template <class Step> double secondsOf(Step &&step) {
    auto start = std::chrono::steady_clock::now();
    step();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace bench

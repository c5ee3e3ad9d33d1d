// The console output of a command run in a test, written into a temporary file and read back as
// text.
#pragma once

#include <cstdio>
#include <string>

namespace ostervane::testing {

class CapturedOutput {
public:
    CapturedOutput() : file_(std::tmpfile()) {}
    ~CapturedOutput() { std::fclose(file_); }
    CapturedOutput(const CapturedOutput &) = delete;
    CapturedOutput &operator=(const CapturedOutput &) = delete;

    std::FILE *File() const { return file_; }
    std::string Text() const {
        std::string text;
        std::fflush(file_);
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            text += static_cast<char>(c);
        }
        return text;
    }

private:
    std::FILE *file_;
};

} // namespace ostervane::testing

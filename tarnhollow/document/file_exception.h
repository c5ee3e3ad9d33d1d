// FileException: a file step of the document's save or open failed.  Thrown where the step
// fails and caught once at the top of the save or the open, which shows the single message.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace tarnhollow {

class FileException : public std::runtime_error {
public:
    enum class Cause { FileNotFound, ReadFault, WriteFault, BadContent };

    // detail says what failed; path names the file when there is one.
    FileException(Cause cause, const std::filesystem::path &path, const std::string &detail)
        : std::runtime_error(path.empty() ? detail : detail + ": " + path.string()), m_cause(cause),
          m_path(path), m_detail(detail) {}

    Cause cause() const { return m_cause; }
    const std::filesystem::path &path() const { return m_path; }
    const std::string &detail() const { return m_detail; }

private:
    Cause m_cause;
    std::filesystem::path m_path;
    std::string m_detail;
};

} // namespace tarnhollow

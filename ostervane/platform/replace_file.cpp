// ReplacingFileWriter on POSIX: mkstemp beside the target, fsync, rename, fsync of the folder.
#include "ostervane/platform/replace_file.h"

#include <cerrno>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ostervane/platform/partial_backup_file.h"

namespace ostervane {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kNewFileMode = 0644;

std::string FolderOf(const std::string &path) {
    fs::path folder = fs::path(path).parent_path();
    return folder.empty() ? "." : folder.string();
}

} // namespace

namespace file_replacement {

std::string ReplacedPath(const std::string &path) {
    std::error_code error;
    if (fs::is_symlink(path, error)) {
        fs::path target = fs::canonical(path, error);
        if (!error) {
            return target.string();
        }
    }
    return path;
}

bool CanReplace(const std::string &path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(info.st_mode)) {
        return false;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

void CopyPermissions(int fd, const std::string &path) {
    struct stat info {};
    mode_t mode = stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : kNewFileMode;
    (void)fchmod(fd, mode);
}

void SyncFolder(const std::string &path) {
    int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)fsync(fd);
        ::close(fd);
    }
}

} // namespace file_replacement

using namespace file_replacement;

ReplacingFileWriter::~ReplacingFileWriter() {
    Discard();
}

bool ReplacingFileWriter::Open(const std::string &path) {
    Discard();
    path_ = ReplacedPath(path);
    if (path_.empty() || !CanReplace(path_)) {
        return false;
    }
    fs::path target(path_);
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"));
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
        return false;
    }
    temporaryPath_ = name.data();
    CopyPermissions(fd_, path_);
    return true;
}

bool ReplacingFileWriter::Write(const uint8_t *data, size_t size) {
    if (fd_ < 0) {
        return false;
    }
    while (size > 0) {
        ssize_t written = ::write(fd_, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool ReplacingFileWriter::Commit() {
    if (fd_ < 0) {
        return false;
    }
    bool synced = fsync(fd_) == 0;
    bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed || rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        Discard();
        return false;
    }
    temporaryPath_.clear();
    SyncFolder(path_);
    return true;
}

void ReplacingFileWriter::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}

} // namespace ostervane

// A small reader for "--name value", "--flag" and positional arguments, in any order.
#pragma once

#include <string>
#include <vector>

namespace tarnhollow {

class OptionReader {
public:
    explicit OptionReader(const std::vector<std::string> &args) : args_(args) {}

    bool More() const { return next_ < args_.size(); }
    bool Failed() const { return failed_; }

    bool Flag(const char *name) {
        if (args_[next_] != name) {
            return false;
        }
        ++next_;
        return true;
    }

    bool Value(const char *name, std::string &value) {
        if (args_[next_] != name) {
            return false;
        }
        if (next_ + 1 >= args_.size()) {
            failed_ = true;
            next_ = args_.size();
            return true;
        }
        value = args_[next_ + 1];
        next_ += 2;
        return true;
    }

    bool Positional(std::string &value) {
        if (args_[next_].rfind("--", 0) == 0) {
            return false;
        }
        value = args_[next_++];
        return true;
    }

private:
    const std::vector<std::string> &args_;
    size_t next_ = 0;
    bool failed_ = false;
};

} // namespace tarnhollow

// Parsing the job commands' options.
#include "ostervane/cli/job_options.h"

#include "ostervane/cli/usb_jobs.h"

namespace ostervane::cli {

namespace {

// 1..kMaxUsbSlots, or 0 when `text` is not such a number.
int ParseSlots(const std::string &text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kMaxUsbSlots) {
        return 0;
    }
    return text[0] - '0';
}

// Takes "--name VALUE" or "--name=VALUE"; false when `arg` is neither.
bool TakeValue(const Arguments &args, size_t &i, const std::string &name, std::string *value,
               bool *missing) {
    const std::string &arg = args[i];
    if (arg == name) {
        *missing = ++i == args.size();
        if (!*missing) {
            *value = args[i];
        }
        return true;
    }
    if (arg.rfind(name + "=", 0) == 0) {
        *value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

} // namespace

std::string ParseJobOptions(const Arguments &args, const std::string &command,
                            JobOptions *options) {
    const bool restore = command == "restore";
    const bool backup = command == "backup";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        std::string value;
        bool missing = false;
        if (arg == "-h" || arg == "--help") {
            options->help = true;
        } else if (backup && arg == "--restart") {
            options->restart = true;
        } else if (restore && arg == "--yes") {
            options->acceptWarning = true;
        } else if (restore && arg == "--only-changed") {
            options->onlyChanged = true;
        } else if (arg == "--usb") {
            options->usb = true;
        } else if (restore && TakeValue(args, i, "--slots", &value, &missing)) {
            options->slots = missing ? 0 : ParseSlots(value);
            if (options->slots == 0) {
                return "--slots needs a number from 1 to 8";
            }
        } else if (TakeValue(args, i, "--port", &value, &missing)) {
            if (missing) {
                return "--port needs a device path";
            }
            options->port = value;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option \"" + arg + "\"";
        } else if (!options->file.empty()) {
            return command + " takes one FILE";
        } else {
            options->file = arg;
        }
    }
    if (options->help) {
        return "";
    }
    if (options->port.empty() == !options->usb) {
        return command + " needs either --port PATH or --usb";
    }
    if (options->slots != 0 && !options->usb) {
        return "--slots goes with --usb";
    }
    return options->file.empty() ? command + " needs a FILE" : "";
}

} // namespace ostervane::cli

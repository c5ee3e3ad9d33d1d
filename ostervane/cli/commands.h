// The subcommands of ostervane-cli and what they share: exit codes and the usage text.
#pragma once

#include <string>
#include <vector>

#include "ostervane/link/debug_packet.h"

namespace ostervane::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitJobFailed = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;

// Each takes the arguments after its name and returns the exit code.
int RunPortsCommand(const Arguments &args);
int RunBackupCommand(const Arguments &args);
int RunIdentifyCommand(const Arguments &args);
int RunRestoreCommand(const Arguments &args);
int RunInfoCommand(const Arguments &args);
int RunExtractCommand(const Arguments &args);

// Runs `slots` jobs with `settings` on handhelds arriving on USB, logged under `banner`.
int RunUsbCommand(const std::string &banner, JobSettings settings, int slots);

// Prints the usage text, after `problem` when one is given, and returns kExitUsage (or
// kExitSuccess when there is no problem, as for --help).
int Usage(const std::string &problem = "");

} // namespace ostervane::cli

// The subcommands of tarnhollow-cli and their exit codes.
#pragma once

#include <string>
#include <vector>

namespace tarnhollow {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The build command's usage, printed on a usage error and as the start of --help.
extern const char kBuildUsage[];

int RunBuild(const std::vector<std::string> &args);
int RunInspect(const std::vector<std::string> &args);

} // namespace tarnhollow

// The vireo-migrate command: its subcommands and their exit statuses.
#pragma once

#include <cstdio>
#include <string>

#include "base/version.h"
#include "cli/machine_words.h"

namespace vireo {

inline constexpr int kExitConverted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNothingToConvert = 3;
inline constexpr int kExitCancelled = 4;

int RunCommandLine(int argc, char** argv, std::FILE* out, std::FILE* err);

// What --help and each command's --help say, one after another, in `words`.
std::string FullHelp(const MachineWords& words);

}  // namespace vireo

// A survey of projects that changes nothing: per project, the grid libraries
// it references, the source type a conversion would take, what a dry
// conversion would change, the unit of projects it shares files with, what
// would stop its conversion, and the command that converts it. It takes no
// lock, writes no journal and makes temporary files only in $TMPDIR; reads
// leave access times alone where the system allows.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/host_machine.h"

namespace vireo {

struct ScanOptions {
  std::vector<std::string> arguments;  // project files, groups and folders
  bool recursive = false;
  bool json = false;  // the survey as a JSON document on standard output
  std::string html;   // a review page, when named ("-": standard output)
  int jobs = 0;       // 0: one per core
  bool quiet = false;
};

// 0 when every project was surveyed (whatever was found), 2 when the
// arguments name no project, 1 when the page could not be written.
int RunScan(const ScanOptions& options, const HostMachine& machine, std::FILE* out, std::FILE* err);

}  // namespace vireo

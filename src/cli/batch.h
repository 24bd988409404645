// A run over many projects at once: the projects of a tree, of project
// groups or of several arguments, in units of projects that share files,
// independent units on several threads, with progress, a summary table, and
// JSON and JUnit reports.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/host_machine.h"

namespace vireo {

struct BatchOptions {
  std::vector<std::string> arguments;  // project files, groups and folders
  bool recursive = false;
  int16_t from = 0;  // 0: each project's own source library
  int16_t to = 0;    // 0: the default target
  bool dry_run = false;
  bool diff = false;
  int jobs = 0;  // 0: one per core
  int wait_seconds = 60;
  std::string report;
  std::string junit;
  bool quiet = false;
  bool verbose = false;
};

// The exit status: 0 when every project converted or needed nothing, 1 when
// any unit failed or a project was skipped, 2 for arguments that name no
// project, 4 when interrupted.
int RunBatch(const BatchOptions& options, const HostMachine& machine, std::FILE* out,
             std::FILE* err);

// The project files the arguments name, each once, as RunBatch finds them;
// empty, with the reason, when an argument names none.
std::vector<std::string> BatchProjectFiles(const BatchOptions& options,
                                           const HostMachine& machine, std::string* problem);

}  // namespace vireo

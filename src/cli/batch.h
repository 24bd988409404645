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
  int jobs = 0;  // 0: eight per core
  int wait_seconds = 60;
  std::string report;  // "-": standard output (`report_stream`)
  std::string junit;
  std::string html;          // a review page of every project
  std::string backup;        // each project's originals below backup/<its folder>
  bool allow_dirty = false;  // convert files with uncommitted changes in git
  std::FILE* report_stream = stdout;
  bool quiet = false;
  bool verbose = false;
};

// The exit status, as a single project's run ends: 4 when interrupted, else
// 1 when any project failed, else 2 when one was skipped (its type must be
// named) or the arguments name no project, else 0 when any converted, else 3
// (none needed conversion, or all were converted already). A report that
// cannot be written makes it 1.
int RunBatch(const BatchOptions& options, const HostMachine& machine, std::FILE* out,
             std::FILE* err);

// The project files the arguments name, each once, as RunBatch finds them;
// empty, with the reason, when an argument names none.
std::vector<std::string> BatchProjectFiles(const BatchOptions& options,
                                           const HostMachine& machine, std::string* problem);

}  // namespace vireo

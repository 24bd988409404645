// The forms and code files of one run, converted one by one or, on the
// platform's own file system, by two threads at once: each file into a run
// of its own, gathered into the project's run in the files' order, so that
// the outcome is byte for byte the one-by-one outcome.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/project/conversion_run.h"

namespace vireo {

struct FileJob {
  std::string kind;    // "form" or "module"
  std::string path;
  std::string binary;  // a form's side file, if any
  std::string shown;   // the name the progress shows
};

struct FileJobHooks {
  // Before a file's result is known, and after it, in the files' order.
  std::function<void(const FileJob&)> started;
  // Returns false to go no further (a failure, an interrupt).
  std::function<bool(const FileJob&, int16_t result)> finished;
  // Whether a request to stop has come; checked before each file.
  std::function<bool()> stop_requested;
};

// Converts `jobs` into `run` in order until a hook says to stop. Every copy
// a file made is recorded in `run`, also past a failure, so that discarding
// the run deletes them all.
void ConvertFiles(ConversionRun& run, const std::vector<FileJob>& jobs, const FileJobHooks& hooks);

}  // namespace vireo

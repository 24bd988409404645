// The forms and code files of one run, converted one by one or by two
// threads at once: each file into a result of its own, handed on in the
// files' order, so that the outcome is byte for byte the one-by-one outcome.
// The threads share only the staging that makes their copies.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/project/file_result.h"
#include "engine/project/staging.h"

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
  std::function<bool(const FileJob&, const FileResult& result)> finished;
  // Whether a request to stop has come; checked before each file.
  std::function<bool()> stop_requested;
};

// How the files are converted: by two threads where that pays (files many
// and distinct, two cores), or always one by one, or always by two threads.
// A run's copies are sealed while it converts where they are many, and with
// kTwo from the first (so that tests reach that path with few files).
enum class Threads { kWherePaying, kOne, kTwo };

// Converts `jobs` from `from_type` to `to_type`, in order, until a hook
// says to stop; returns the results of the files converted, in order (the
// last may be a failure). Every copy made is the staging's, so discarding
// it deletes them all.
std::vector<FileResult> ConvertFiles(Staging& staging, int16_t from_type, int16_t to_type,
                                     const std::vector<FileJob>& jobs, const FileJobHooks& hooks,
                                     Threads threads = Threads::kWherePaying);

}  // namespace vireo

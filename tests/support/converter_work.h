// A converter's working state over a staging of its own, as the converter
// tests use it: `Fresh()` starts a new file's work on the same staging, whose
// copies live until the test ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/project/file_work.h"
#include "engine/project/staging.h"

namespace vireo::testing {

class ConverterWork {
 public:
  std::unique_ptr<FileWork> Fresh() { return std::make_unique<FileWork>(staging_); }
  Staging& staging() { return staging_; }

 private:
  Staging staging_;
};

inline std::vector<std::string> OriginalsOf(const FileWork& work) {
  std::vector<std::string> originals;
  for (const StagedCopy& copy : work.result.copies) originals.push_back(copy.original);
  return originals;
}

}  // namespace vireo::testing

// One converter's working state: where it makes its copies, the names the
// form it reads declares, the physical lines of the logical line read last,
// and the result it is building. Each file gets its own; only the staging
// is shared.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/file_io.h"
#include "engine/project/file_result.h"
#include "engine/project/staging.h"

namespace vireo {

struct FileWork {
  explicit FileWork(Staging& staging) : staging(staging) {}

  Staging& staging;
  std::vector<std::string> GridControlNames;
  std::vector<std::string> DropDownControlNames;
  std::vector<std::string> GridEventNames;
  std::vector<std::string> DropDownEventNames;
  std::vector<std::string> RawLines;
  bool WriteJoined = false;
  // The original whose binary records are being converted (for the GUID log).
  std::string current_binary_original;
  // Where the records are read from the original (a run that keeps no
  // copies, or one that writes a form's binary file once, after its text):
  // what converting them would have written there, by offset, so that every
  // later record of the file sees it as it would in a copy.
  ByteWrites set_aside_writes;
  bool records_set_aside = false;
  FileResult result;

  // The first reason counts.
  void Fail(const std::string& reason) {
    if (result.failure_reason.empty()) result.failure_reason = reason;
  }
  // Makes the copy of `original`, recorded in the result; false (with the
  // reason recorded) when that fails.
  bool MakeCopy(const std::string& original, bool binary, std::string* copy, FileHandle* file) {
    std::string reason;
    if (!staging.MakeCopy(original, copy, file, &reason)) {
      Fail(reason);
      return false;
    }
    result.copies.push_back({original, *copy, binary, std::nullopt});
    return true;
  }
  // Deletes the copies made of `original` and drops them from the result.
  void DropCopies(const std::string& original) {
    staging.Drop(original);
    std::erase_if(result.copies, [&](const StagedCopy& c) { return c.original == original; });
  }
};

}  // namespace vireo

#include "engine/project/temp_files.h"

#include "base/file_io.h"

namespace vireo {

bool MakeTempFile(ConversionRun& run, const std::string& original, std::string* path,
                  FileHandle* file) {
  std::string directory;
  if (auto error = Files().TempDirectory(&directory)) {
    run.Fail(original + ": no temporary directory (" + Describe(error) + ")");
    return false;
  }
  if (auto error = Files().CreateTempFile(directory, kTempPrefix, path, file)) {
    run.Fail(original + ": cannot create a temporary file in " + directory + " (" +
             Describe(error) + ")");
    return false;
  }
  return true;
}

void RecordPair(ConversionRun& run, const std::string& original, const std::string& temp) {
  run.OriginalFiles.push_back(original);
  run.TempFiles.push_back(temp);
}

std::vector<std::string> ForgetPairs(ConversionRun& run, const std::string& original) {
  std::vector<std::string> leftovers;
  for (size_t i = run.OriginalFiles.size(); i-- > 0;) {
    if (run.OriginalFiles[i] != original) continue;
    if (Files().Remove(run.TempFiles[i])) leftovers.push_back(run.TempFiles[i]);
    run.OriginalFiles.erase(run.OriginalFiles.begin() + static_cast<std::ptrdiff_t>(i));
    run.TempFiles.erase(run.TempFiles.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return leftovers;
}

std::vector<std::string> DiscardTempFiles(ConversionRun& run) {
  std::vector<std::string> leftovers;
  for (const std::string& temp : run.TempFiles) {
    if (Files().Remove(temp)) leftovers.push_back(temp);
  }
  run.TempFiles.clear();
  run.OriginalFiles.clear();
  return leftovers;
}

}  // namespace vireo

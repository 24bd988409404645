#include "engine/project/temp_files.h"

#include "engine/file_io.h"

namespace vireo {

bool MakeTempFile(ConversionRun& run, const std::string& original, std::string* path) {
  std::string directory;
  if (auto error = Files().TempDirectory(&directory)) {
    run.Fail(original + ": no temporary directory (" + Describe(error) + ")");
    return false;
  }
  if (auto error = Files().CreateTempFile(directory, kTempPrefix, path)) {
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

void DropUnrecordedTemp(const std::string& temp) { Files().Remove(temp); }

void DiscardTempFiles(ConversionRun& run) {
  for (const std::string& temp : run.TempFiles) Files().Remove(temp);
  run.TempFiles.clear();
  run.OriginalFiles.clear();
}

}  // namespace vireo

// Project file reading and rewrite.
#include "engine/project/file_work.h"
#include "engine/project/project.h"
#include "engine/project/project_file.h"
#include "fuzz_support.h"
#include "host/posix/path_resolver_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vireo;
  if (size < 1) return 0;
  int16_t from, to;
  fuzz::TypesFrom(data[0], &from, &to);
  std::string path = fuzz::WriteScratch("P.vbp", data + 1, size - 1);
  Project project;
  std::string problem;
  if (!ReadProject(path, PosixPathResolver(), &project, &problem)) {
    if (problem.empty()) std::abort();
    return 0;
  }
  Staging staging;
  FileWork run(staging);
  if (RewriteProjectFile(run, project, from, to) == kFailed) std::abort();
  return 0;
}

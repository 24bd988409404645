// Project file scan and rewrite.
#include "engine/project/project_file.h"
#include "engine/project/temp_files.h"
#include "fuzz_support.h"
#include "host/posix/path_resolver_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vireo;
  if (size < 1) return 0;
  int16_t from, to;
  fuzz::TypesFrom(data[0], &from, &to);
  std::string path = fuzz::WriteScratch("P.vbp", data + 1, size - 1);
  ConversionRun run;
  ScanProjectFile(run, path, PosixPathResolver());
  if (RewriteProjectFile(run, path, from, to) == kFailed) std::abort();
  DiscardTempFiles(run);
  return 0;
}

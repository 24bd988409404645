// Logical-line reading and code-module conversion on arbitrary bytes.
#include "engine/code/code_file.h"
#include "engine/project/file_work.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vireo;
  if (size < 1) return 0;
  int16_t from, to;
  fuzz::TypesFrom(data[0], &from, &to);
  std::string path = fuzz::WriteScratch("Module.bas", data + 1, size - 1);
  Staging staging;
  FileWork run(staging);
  int16_t result = ConvertCodeFile(run, path, from, to);
  if (result != kFailed && run.result.copies.size() != 1) std::abort();
  if (result == kFailed && run.result.failure_reason.empty()) std::abort();
  return 0;
}

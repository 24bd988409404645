// Binary record conversion: bytes outside the payload never change, the
// length never changes, and a failure leaves the file as it was.
#include "base/file_io.h"
#include "engine/forms/ole_blob.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vireo;
  if (size < 3) return 0;
  int16_t from, to;
  fuzz::TypesFrom(data[0], &from, &to);
  int32_t offset = static_cast<int8_t>(data[1]) * 4 + data[2];
  std::string path = fuzz::WriteScratch("Form1.frx", data + 3, size - 3);
  std::string before(reinterpret_cast<const char*>(data + 3), size - 3);
  Staging staging;
  FileWork run(staging);
  int16_t result = ConvertOleObjectBlob(run, path, offset, from, to);
  std::string after;
  ReadWholeFile(path, &after);
  if (after.size() != before.size()) std::abort();
  if (result == kFailed && after != before) std::abort();
  if (result == kUnchanged && after != before) std::abort();
  for (const GuidReplacement& r : run.result.guid_replacements) {
    if (r.byte_offset < r.record_offset + 6 ||
        r.byte_offset + 16 > static_cast<int64_t>(before.size()))
      std::abort();
  }
  return 0;
}

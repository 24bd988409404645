// Form conversion with its binary file: the input is the form text, a NUL
// separator, then the .frx bytes.
#include <cstring>

#include "base/file_io.h"
#include "engine/forms/form_file.h"
#include "engine/project/file_work.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vireo;
  if (size < 1) return 0;
  int16_t from, to;
  fuzz::TypesFrom(data[0], &from, &to);
  const uint8_t* text = data + 1;
  size_t rest = size - 1;
  const void* nul = std::memchr(text, 0, rest);
  size_t text_size = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - text) : rest;
  std::string form = fuzz::WriteScratch("Form1.frm", text, text_size);
  size_t binary_start = nul ? text_size + 1 : rest;
  std::string binary = fuzz::WriteScratch("Form1.frx", text + binary_start, rest - binary_start);
  Staging staging;
  FileWork run(staging);
  int16_t result = ConvertFormFile(run, form, binary, from, to);
  if (result != kFailed) {
    // The binary copy keeps the original's length.
    std::string original, converted;
    ReadWholeFile(binary, &original);
    ReadWholeFile(run.result.copies.at(1).copy, &converted);
    if (original.size() != converted.size()) std::abort();
  }
  return 0;
}

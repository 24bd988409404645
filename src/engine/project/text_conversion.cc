#include "engine/project/text_conversion.h"

#include "engine/project/temp_files.h"

namespace vireo {

int16_t ConvertTextFile(ConversionRun& run, const std::string& original, const LineRules& rules) {
  std::string temp;
  FileHandle temp_file;
  if (!MakeTempFile(run, original, &temp, &temp_file)) return kFailed;
  RecordPair(run, original, temp);
  LineReader in;
  LineWriter out;
  out.Adopt(temp_file);
  if (auto error = in.Open(original)) {
    run.Fail(original + ": cannot be opened (" + Describe(error) + ")");
    return kFailed;
  }
  if (in.has_bom()) out.WriteBom();
  int16_t result = rules(in, out);
  if (result == kFailed) return kFailed;
  if (in.error()) {
    run.Fail(original + ": cannot be read (" + Describe(in.error()) + ")");
    return kFailed;
  }
  if (auto error = out.Close()) {
    run.Fail(original + ": cannot write its temporary copy " + temp + " (" + Describe(error) + ")");
    return kFailed;
  }
  return result;
}

}  // namespace vireo

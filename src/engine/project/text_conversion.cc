#include "engine/project/text_conversion.h"

#include "base/checksum.h"

namespace vireo {

int16_t ConvertTextFile(FileWork& run, const std::string& original, const LineRules& rules) {
  std::string temp;
  FileHandle temp_file;
  if (!run.MakeCopy(original, false, &temp, &temp_file)) return kFailed;
  const size_t own_copy = run.result.copies.size() - 1;  // the rules may add others
  // The digests outlive the reader and writer that feed them.
  Checksummer old_bytes(ChecksumKind::kXxh3), new_bytes(ChecksumKind::kXxh3),
      old_lines(ChecksumKind::kXxh3), new_lines(ChecksumKind::kXxh3);
  LineReader in;
  LineWriter out;
  if (run.staging.writes_copies()) {
    out.Adopt(temp_file);
  } else {
    out.WriteNowhere();
  }
  // Without a copy there is nothing to commit, and the byte digests are
  // only the commit's: the lines alone tell whether the text changed.
  bool copied = run.staging.writes_copies();
  in.DigestInto(copied ? &old_bytes : nullptr, &old_lines);
  out.DigestInto(copied ? &new_bytes : nullptr, &new_lines);
  if (auto error = in.Open(original)) {
    run.Fail(original + ": cannot be opened (" + Describe(error) + ")");
    return kFailed;
  }
  if (in.has_bom()) out.WriteBom();
  int16_t result = rules(in, out);
  if (result == kFailed) return kFailed;
  // Every byte of the original must have gone through the digests.
  bool read_whole = in.AtEnd();
  if (in.error()) {
    run.Fail(original + ": cannot be read (" + Describe(in.error()) + ")");
    return kFailed;
  }
  if (auto error = out.Close()) {
    run.Fail(original + ": cannot write its temporary copy " + temp + " (" + Describe(error) + ")");
    return kFailed;
  }
  if (read_whole) {
    // Lines digested with a terminator of their own: equal digests, equal lines.
    run.result.copies[own_copy].facts = CopyFacts{
        old_bytes.Digest(), old_lines.Digest() == new_lines.Digest(), copied, new_bytes.Digest()};
  }
  return result;
}

}  // namespace vireo

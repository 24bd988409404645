#include "engine/forms/form_file.h"

#include <optional>

#include "base/checksum.h"
#include "base/file_io.h"
#include "base/text.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/code/code_file.h"
#include "engine/code/rewrite_rules.h"
#include "engine/forms/ole_blob.h"
#include "engine/project/project_file.h"
#include "engine/project/text_conversion.h"

namespace vireo {
namespace {

// Without a copy, a binary file is only opened and its first byte read: a
// run that copies it would fail where this does.
std::error_code CanBeRead(const std::string& path) {
  FileHandle file;
  if (auto error = Files().Open(path, OpenFor::kRead, &file)) return error;
  char first;
  size_t got = 0;
  std::error_code error = Files().Read(file, &first, 1, &got);
  std::error_code closed = Files().Close(file);
  return error ? error : closed;
}

constexpr const char* kGridEventNames[] = {
    "_FetchCellStyle",   "_UnboundReadData", "_UnboundReadDateEx", "_UnboundAddData",
    "_UnboundWriteData", "_FirstRowChange",  "_LeftColChange"};
constexpr const char* kDropDownEventNames[] = {"_FetchCellStyle", "_UnboundReadData",
                                               "_UnboundReadDateEx", "_UnboundAddData",
                                               "_UnboundWriteData"};

std::string DropDownName(int16_t position) {
  return GridCatalogue().Item(position).GridLibName() + ".VireoDropDown";
}

std::string FormObjectLineFor(int16_t position) {
  const GridVersion& row = GridCatalogue().Item(position);
  return "Object = \"" + Braced(row.LIBID) + row.Version + "\"; \"" + row.OCXFileName() + "\"";
}

// One form conversion in progress.
class FormConverter {
 public:
  FormConverter(FileWork& run, const std::string& form_path, int16_t from_type, int16_t to_type)
      : run_(run), form_path_(form_path), from_(from_type), to_(to_type) {}

  // Converts the form's text from `in` into `out`, and its binary records
  // in the copy `binary_temp`.
  int16_t Run(LineReader& in, LineWriter& out, const std::string& binary_temp);

 private:
  bool ConvertLine(std::string& line, bool* write_current);
  bool NoteReference(std::string_view line);
  bool ConvertReferenceLine(const std::string& line, bool* write_current);
  bool ReferencesSourceAboveBegin(bool* references);
  bool CopyControlBlock(std::string& line, bool* ended_at_end_line);
  bool ConvertRecordLine(const std::string& line);
  int16_t Fail(const std::string& problem) {
    run_.Fail(form_path_ + ": " + problem);
    return kFailed;
  }

  FileWork& run_;
  const std::string& form_path_;
  int16_t from_, to_;
  std::string binary_temp_;
  LineReader* in_ = nullptr;
  LineWriter* out_ = nullptr;
  bool in_code_ = false;
  bool changed_ = false;
  bool above_first_begin_ = true;
  bool reference_replaced_ = false;
  std::optional<bool> references_source_;
  std::optional<EventProcedureIndex> events_;
  std::string problem_;
};

int16_t FormConverter::Run(LineReader& in, LineWriter& out, const std::string& binary_temp) {
  in_ = &in;
  out_ = &out;
  binary_temp_ = binary_temp;
  run_.WriteJoined = false;
  std::string line;
  while (!in.AtEnd()) {
    if (!ReadLogicalLine(in, run_, &line, &problem_)) return Fail(problem_);
    bool write_current = true;
    if (!ConvertLine(line, &write_current)) return kFailed;
    if (write_current) WriteCurrentLine(run_, out, line);
  }
  return changed_ ? kChanged : kUnchanged;
}

bool FormConverter::ConvertLine(std::string& line, bool* write_current) {
  if (above_first_begin_) {
    if (IsBeginLine(line)) {
      above_first_begin_ = false;
    } else if (NoteReference(line) &&
               (IsFormObjectLineFor(line, from_) || IsFormObjectLineFor(line, to_))) {
      return ConvertReferenceLine(line, write_current);
    }
  }
  if (in_code_) {
    bool event = IsGridEventProcedure(*events_, line);
    bool rewritten =
        event ? RewriteEventHeader(run_, line, from_, to_) : RewriteDeclarations(line, from_, to_);
    if (rewritten) {
      changed_ = true;
      ++(event ? run_.result.counts.event_headers : run_.result.counts.declarations);
      MarkChange(run_, *out_, form_path_);
    }
    return true;
  }
  if (EqualsNoCase(line, "End")) {
    in_code_ = true;
    events_.emplace(run_);
    return true;
  }
  if (!IsGridBeginLine(run_, line, from_)) return true;
  // Between types of one class name the line may stay as it was.
  std::string renamed = line;
  RenameBeginLine(renamed, from_, to_);
  if (renamed != line) {
    changed_ = true;
    run_.result.changed_lines[form_path_] += 1;
    bool grid = ContainsNoCase(line, GridCatalogue().Item(from_).FullName);
    ++(grid ? run_.result.counts.grid_blocks : run_.result.counts.drop_down_blocks);
  }
  out_->WriteLine(renamed);
  bool ended_at_end_line = false;
  if (!CopyControlBlock(line, &ended_at_end_line)) return false;
  // A block cut short by the end of the file has had every line written.
  run_.WriteJoined = ended_at_end_line;
  *write_current = ended_at_end_line;
  return true;
}

// Whether a line above the first Begin line names a catalogue row's
// library; the rows it names are noted in the run.
bool FormConverter::NoteReference(std::string_view line) {
  bool names = false;
  for (int16_t p = 1; p <= GridCatalogue().Count(); ++p) {
    if (!IsFormObjectLineFor(line, p)) continue;
    run_.result.form_references.insert(p);
    names = true;
  }
  return names;
}

// The first reference to the source library becomes the target's, and the
// references to the target go; when none names the source, all stay.
bool FormConverter::ConvertReferenceLine(const std::string& line, bool* write_current) {
  if (!reference_replaced_ && IsFormObjectLineFor(line, from_)) {
    reference_replaced_ = true;
    changed_ = true;
    run_.result.changed_lines[form_path_] += 1;
    ++run_.result.counts.reference_lines;
    out_->WriteLine(FormObjectLineFor(to_));
    *write_current = false;
    return true;
  }
  if (!IsFormObjectLineFor(line, to_)) return true;
  if (!reference_replaced_) {
    bool references = false;
    if (!ReferencesSourceAboveBegin(&references)) return false;
    if (!references) return true;
  }
  *write_current = false;
  return true;
}

// Whether a line above the first Begin line names the source library. Asked
// only when a target reference comes first, and answered by reading those
// lines again with a reader of its own.
bool FormConverter::ReferencesSourceAboveBegin(bool* references) {
  if (!references_source_) {
    LineReader reader;
    if (auto error = reader.Open(form_path_)) {
      Fail("cannot be opened again (" + Describe(error) + ")");
      return false;
    }
    FileWork scratch(run_.staging);
    std::string line;
    bool found = false;
    while (!found && !reader.AtEnd()) {
      if (!ReadLogicalLine(reader, scratch, &line, &problem_)) {
        Fail(problem_);
        return false;
      }
      if (IsBeginLine(line)) break;
      found = IsFormObjectLineFor(line, from_);
    }
    if (reader.error()) {
      Fail("cannot be read (" + Describe(reader.error()) + ")");
      return false;
    }
    references_source_ = found;
  }
  *references = *references_source_;
  return true;
}

bool FormConverter::CopyControlBlock(std::string& line, bool* ended_at_end_line) {
  while (!in_->AtEnd()) {
    if (!ReadLogicalLine(*in_, run_, &line, &problem_)) {
      Fail(problem_);
      return false;
    }
    if (EndsWithNoCase(line, "   End")) {
      *ended_at_end_line = true;
      return true;
    }
    if (ContainsNoCase(line, "OleObjectBlob") && !ConvertRecordLine(line)) return false;
    out_->WriteLine(line);
  }
  return true;
}

bool FormConverter::ConvertRecordLine(const std::string& line) {
  if (binary_temp_.empty()) {
    Fail("line " + std::to_string(in_->lines_read()) + " names a record in its binary file " +
         FileStem(form_path_) + SideExtensionForText(form_path_) + ", which is missing");
    return false;
  }
  int32_t offset = 0;
  if (!FrxOffset(line, &offset)) {
    Fail("line " + std::to_string(in_->lines_read()) +
         " names no valid record offset after its last \":\": " + line);
    return false;
  }
  int16_t result = ConvertOleObjectBlob(run_, binary_temp_, offset, from_, to_);
  changed_ |= result == kChanged;
  return result != kFailed;
}

}  // namespace

// VB5 and VB6 name each control library a form uses above its first Begin
// line: Object = "{LIBID}#4.0#0"; "VIRA32.OCX". Only that spacing is taken.
bool IsFormObjectLineFor(std::string_view line, int16_t position) {
  constexpr std::string_view kFormObjectStart = "Object = \"{";
  const std::string& libid = GridCatalogue().Item(position).LIBID;
  size_t brace = kFormObjectStart.size() + libid.size();
  return StartsWithNoCase(line, kFormObjectStart) && line.size() > brace &&
         EqualsNoCase(line.substr(kFormObjectStart.size(), libid.size()), libid) &&
         line[brace] == '}';
}

bool IsBeginLine(std::string_view line) {
  return StartsWithNoCase(TrimLeadingSpaces(line), "Begin");
}

bool IsGridBeginLine(FileWork& run, std::string_view line, int16_t from_type) {
  if (!ContainsNoCase(line, "Begin")) return false;
  if (!ContainsNoCase(line, GridCatalogue().Item(from_type).FullName) &&
      !ContainsNoCase(line, DropDownName(from_type)))
    return false;
  RecordControlName(run, line, from_type);
  return true;
}

void RecordControlName(FileWork& run, std::string_view line, int16_t from_type) {
  std::string_view trimmed = TrimSpaces(line);
  size_t first = trimmed.find(' ');
  size_t second = trimmed.find(' ', first == kNotFound ? 0 : first + 1);
  std::string name(second == kNotFound ? trimmed : trimmed.substr(second + 1));
  if (ContainsNoCase(line, GridCatalogue().Item(from_type).FullName)) {
    run.GridControlNames.push_back(name);
  } else if (ContainsNoCase(line, DropDownName(from_type))) {
    run.DropDownControlNames.push_back(name);
  }
}

void RenameBeginLine(std::string& line, int16_t from_type, int16_t to_type) {
  const std::string& source = GridCatalogue().Item(from_type).FullName;
  if (ContainsNoCase(line, source)) {
    ReplaceFirstNoCase(line, source, GridCatalogue().Item(to_type).FullName);
  } else {
    ReplaceFirstNoCase(line, DropDownName(from_type), DropDownName(to_type));
  }
}

int16_t ConvertFormFile(FileWork& run, const std::string& form_path, const std::string& binary_path,
                        int16_t from_type, int16_t to_type) {
  run.GridEventNames.insert(run.GridEventNames.end(), std::begin(kGridEventNames),
                            std::end(kGridEventNames));
  run.DropDownEventNames.insert(run.DropDownEventNames.end(), std::begin(kDropDownEventNames),
                                std::end(kDropDownEventNames));
  FormConverter converter(run, form_path, from_type, to_type);
  bool binary_copied = false;
  int16_t result = ConvertTextFile(run, form_path, [&](LineReader& in, LineWriter& out) {
    // Without a side file only the text is converted; a record line fails.
    if (binary_path.empty()) return converter.Run(in, out, "");
    std::string binary_temp;
    FileHandle binary_file;
    if (!run.MakeCopy(binary_path, true, &binary_temp, &binary_file)) return kFailed;
    const size_t binary_copy = run.result.copies.size() - 1;
    if (auto error = CanBeRead(binary_path)) {
      if (binary_file >= 0) Files().Close(binary_file);
      run.Fail(binary_path + ": cannot be copied (" + Describe(error) + ")");
      return kFailed;
    }
    binary_copied = true;
    run.current_binary_original = binary_path;
    // The records are read from the original and what converting them
    // writes is kept aside; the copy is then written once, with those
    // writes made as its bytes pass, and both digests taken on the way.
    run.records_set_aside = true;
    int16_t text_result = converter.Run(in, out, binary_path);
    if (text_result == kFailed) {
      if (binary_file >= 0) Files().Close(binary_file);
      return text_result;
    }
    Checksummer old_bytes(ChecksumKind::kXxh3), new_bytes(ChecksumKind::kXxh3);
    if (run.staging.writes_copies()) {
      if (auto error = CopyFileContentWith(binary_path, binary_file, run.set_aside_writes,
                                           &old_bytes, &new_bytes)) {
        run.Fail(binary_path + (error == std::errc::result_out_of_range
                                    ? ": changed while it was converted (it no longer holds "
                                      "every record it held)"
                                    : ": cannot be copied (" + Describe(error) + ")"));
        return kFailed;
      }
    }
    // Without a copy, only whether the records kept their bytes is known.
    bool same = !run.result.records_changed;
    CopyFacts facts{old_bytes.Digest(), same, same || run.staging.writes_copies(),
                    new_bytes.Digest()};
    run.result.copies[binary_copy].facts = facts;
    return text_result;
  });
  if (result == kFailed && !binary_path.empty() && !binary_copied) {
    run.DropCopies(form_path);
    run.DropCopies(binary_path);
  }
  run.current_binary_original.clear();
  return result;
}

}  // namespace vireo

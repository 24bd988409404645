// What converting one file produced: the copies it wrote, with what was
// learnt about them while their bytes streamed through, the lines it marked
// as changed, the GUIDs it overwrote and, when it failed, why. Results are
// values: a run gathers them in the files' order.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vireo {

// Converter result codes.
inline constexpr int16_t kChanged = 1;
inline constexpr int16_t kUnchanged = 0;
inline constexpr int16_t kFailed = -1;

// One GUID overwritten inside a binary record, for previews and reports.
struct GuidReplacement {
  std::string file;       // the original .frx path
  int64_t record_offset;  // O, the record's offset
  int64_t byte_offset;    // where in the file the 16 bytes lie
  std::string role;       // the GUID's name, such as "CLSID_MsPlover"
  std::string old_text;
  std::string new_text;
  std::string layout;  // the record's: "VB4" or "LB"
};

// What was learnt about a converted copy while its bytes streamed through
// (XXH3 checksums), so that the commit need not read either file again.
struct CopyFacts {
  uint64_t old_checksum = 0;  // of the original's bytes, as read
  bool same = false;          // the copy holds what the original held (lines, or bytes)
  bool new_known = false;     // whether `new_checksum` is known
  uint64_t new_checksum = 0;  // of the copy's bytes, as written
};

// A converted copy of an original, to be put over it by the commit.
struct StagedCopy {
  std::string original;
  std::string copy;
  bool binary = false;             // compared byte for byte, not line by line
  std::optional<CopyFacts> facts;  // known when the copy was converted to its end
};

// What the text rules changed, by kind of change.
struct ChangeCounts {
  int grid_blocks = 0;       // grid control blocks moved to the target's class
  int drop_down_blocks = 0;  // drop-down control blocks moved likewise
  int reference_lines = 0;   // forms' library lines above their first Begin
  int event_headers = 0;     // grid event procedure headers rewritten
  int declarations = 0;      // other code lines whose declarations were moved

  void Add(const ChangeCounts& other) {
    grid_blocks += other.grid_blocks;
    drop_down_blocks += other.drop_down_blocks;
    reference_lines += other.reference_lines;
    event_headers += other.event_headers;
    declarations += other.declarations;
  }
};

struct FileResult {
  int16_t result = kUnchanged;
  std::string failure_reason;  // with kFailed: the file and what is wrong with it
  std::vector<StagedCopy> copies;
  std::map<std::string, int> changed_lines;  // logical lines marked, by original text file
  std::vector<GuidReplacement> guid_replacements;
  bool records_changed = false;  // a binary record's bytes changed
  // The catalogue types the reference lines above a form's first Begin name.
  std::set<int16_t> form_references;
  ChangeCounts counts;
};

// What a run's converters produced together, in the files' order.
struct RunChanges {
  std::vector<StagedCopy> copies;
  std::map<std::string, int> changed_lines;
  std::vector<GuidReplacement> guid_replacements;
  bool records_changed = false;
  std::set<int16_t> form_references;
  ChangeCounts counts;

  void Add(const FileResult& file) {
    counts.Add(file.counts);
    copies.insert(copies.end(), file.copies.begin(), file.copies.end());
    for (const auto& [path, lines] : file.changed_lines) changed_lines[path] += lines;
    guid_replacements.insert(guid_replacements.end(), file.guid_replacements.begin(),
                             file.guid_replacements.end());
    records_changed |= file.records_changed;
    form_references.insert(file.form_references.begin(), file.form_references.end());
  }
};

}  // namespace vireo

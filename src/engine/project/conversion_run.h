// Everything one conversion run shares between its converters: the code files
// to convert, the replacement pairs, the chosen grid types, the per-form name
// lists, the physical lines of the logical line read last, and what happened.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/project/held_files.h"

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
};

// What was learnt about a converted copy while its bytes streamed through
// (XXH3 checksums), so that the commit need not read either file again.
struct CopyFacts {
  uint64_t old_checksum = 0;  // of the original's bytes, as read
  bool same = false;          // the copy holds what the original held (lines, or bytes)
  bool new_known = false;     // whether `new_checksum` is known
  uint64_t new_checksum = 0;  // of the copy's bytes, as written
};

struct ConversionRun {
  std::vector<std::string> ModuleFiles;
  std::vector<std::string> OriginalFiles;
  std::vector<std::string> TempFiles;
  // Set for a run that will commit: its copies are written beside the
  // originals they replace, under names made from this token, and the
  // journal at `staging_journal` names every original they may replace.
  std::string staging_token;
  std::string staging_journal;
  // The other projects of a unit committing under that journal, each with
  // a journal pointing to it (see journal.h).
  std::vector<std::string> unit_projects;
  // The originals it may replace, held until the run and its copies end
  // (see held_files.h); `busy` when another run held one for longer than the
  // run would wait.
  std::shared_ptr<HeldFiles> held_files = std::make_shared<HeldFiles>();
  bool busy = false;
  int16_t FromType = 0;
  int16_t ToType = 0;

  std::vector<std::string> GridControlNames;
  std::vector<std::string> DropDownControlNames;
  std::vector<std::string> GridEventNames;
  std::vector<std::string> DropDownEventNames;

  std::vector<std::string> RawLines;
  bool WriteJoined = false;

  // One line naming the file and the problem, left by the converter that failed.
  std::string failure_reason;
  // Logical lines marked as changed, per original text file.
  std::map<std::string, int> changed_lines;
  std::vector<GuidReplacement> guid_replacements;
  // The original whose binary records are being converted (for the log above).
  std::string current_binary_original;
  // Originals that are binary property files (all others are text), and
  // those of them in which a record's bytes were changed.
  std::set<std::string> binary_files;
  std::set<std::string> binary_files_changed;
  // By temporary copy: only copies converted to their end have facts.
  std::map<std::string, CopyFacts> copy_facts;
  // The form-like components the project file lists (forms, UserControls,
  // UserDocuments, PropertyPages), as resolved paths.
  std::vector<std::string> listed_forms;
  // The catalogue types the project file's reference lines name, and those
  // the reference lines above its converted forms' first Begin lines name.
  std::set<int16_t> project_references;
  std::set<int16_t> form_references;

  void ClearFormNames() {
    GridControlNames.clear();
    DropDownControlNames.clear();
    GridEventNames.clear();
    DropDownEventNames.clear();
  }
  void Fail(const std::string& reason) {
    if (failure_reason.empty()) failure_reason = reason;
  }
};

}  // namespace vireo

// One whole conversion run over the host IDE's active project: the unsaved
// changes check, the dialog, every form, code module and class, the project
// file, then commit or discard, the reload request and the outcome message.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/project/file_jobs.h"
#include "engine/project/file_result.h"
#include "engine/project/held_files.h"
#include "engine/project/unit_run.h"
#include "host/ide.h"
#include "host/path_resolver.h"
#include "host/user_interface.h"

namespace vireo {

inline constexpr char kUnsavedMessage[] =
    "The current project contains unsaved changes.\rPlease save the project, then retry.";
inline constexpr char kNothingToConvertMessage[] =
    "The current project does not contain any grids that require conversion.\r"
    "No changes were made.";
inline constexpr char kConvertedMessage[] = "The current project was converted successfully.";
inline constexpr char kErrorMessagePrefix[] = "Error converting file: ";

// What the run reaches the outside through.
struct RunServices {
  UserInterface& ui;
  ConvertDialog& dialog;
  StatusWindow& status;
  const PathResolver& resolver;
};

// What a run tells its front end as it goes, file by file, in the files'
// order: a file begun, and its conversion into a copy ended with a result
// (kChanged, kUnchanged or kFailed). Nothing is replaced until the run
// commits: a converted copy is not yet a converted file.
struct RunEvent {
  enum class Kind { kFileStarted, kFileConverted };
  Kind kind = Kind::kFileStarted;
  std::string file_kind;  // "form" or "module"
  std::string path;
  std::string shown;  // how progress names the file
  int16_t result = 0;
};

// Hooks for front ends that preview or back up. Each sees the run's changes
// with every converted copy in place, before anything is replaced.
struct RunOptions {
  // Convert into temporary files only: the originals are never touched, the
  // host is not asked to reload and no success message is shown.
  bool dry_run = false;
  // A dry run whose copies nobody reads (no diff shown, nothing reviewed):
  // files are converted into digests and counts, and no copy is written.
  bool copies_unread = false;
  std::function<void(const RunChanges&)> preview;
  // Runs before the commit (also of one project of a unit, before its copies
  // are handed on); returns false (with a reason) to stop the run as failed.
  std::function<bool(const RunChanges&, std::string* failed_file, std::string* reason)>
      before_commit;
  // Runs first of all before the commit; a reason it returns stops the run
  // as refused, with nothing changed (files the user must settle first).
  std::function<std::string(const RunChanges&)> refuse_commit;
  // The caller holds the project's run lock and has recovered any
  // interrupted commit already.
  bool project_locked = false;
  // How long to wait for files other runs hold, and who hears of it.
  HoldPolicy hold;
  // Progress names every file by its path relative to the project's folder
  // (else, as the add-in does, a form by its name and a code file by its
  // full path).
  bool progress_by_path = false;
  // One project of a unit (the caller holds its lock): the run stages under
  // the unit's journal, takes the results of files an earlier project of the
  // unit converted, and hands its copies to the unit instead of committing;
  // kConverted then means ready for the unit's commit.
  UnitRun* unit = nullptr;
  // Whether the files are converted by two threads (see file_jobs.h).
  Threads threads = Threads::kWherePaying;
  // Hears every RunEvent (the Status window's texts are shown as well).
  std::function<void(const RunEvent&)> on_event;
};

// kInterrupted: the user asked to stop (see engine/interrupt.h) before the
// commit began; no original changed and the temporary copies were deleted
// (any that could not be are the leftovers). kRefused: the project
// references another old grid library and not the source chosen, and
// converting it from that source would change its text only (nothing of
// its binary records or its reference): nothing was changed.
enum class RunOutcome {
  kConverted,
  kNothingToConvert,
  kFailed,
  kUnsaved,
  kCancelled,
  kBusy,
  kInterrupted,
  kRefused
};

struct FileOutcome {
  std::string kind;  // "form", "module" or "project"
  std::string path;
  std::string binary_path;  // forms only
  int16_t result = 0;
  std::string reason;  // with kFailed: the file and what is wrong with it
};

struct RunResult {
  RunOutcome outcome = RunOutcome::kCancelled;
  int16_t from_type = 0;
  int16_t to_type = 0;
  std::string message;         // the outcome's message box text, if any
  std::string failure_reason;  // one line naming the file and the problem
  std::vector<FileOutcome> files;
  std::map<std::string, int> changed_lines;
  std::vector<GuidReplacement> guid_replacements;
  ChangeCounts counts;  // of the files this run converted itself
  int replaced = 0;   // originals replaced by the commit
  int unchanged = 0;  // files left as they were: nothing in them needed a change
  std::vector<std::string> leftovers;
  // The catalogue types the project file and its converted forms' reference
  // lines name, once they were read.
  std::set<int16_t> referenced_types;
};

RunResult ConvertProject(IdeApplication& vb_inst, const RunServices& services,
                         const RunOptions& options = {});

}  // namespace vireo

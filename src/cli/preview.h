// What a dry run would change: built from the run while every converted copy
// still sits in its temporary file, then formatted for the terminal as one
// summary line per file and, on request, a diff of every changed file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/project/file_result.h"

namespace vireo {

// "1 line", "2 lines": `count` with the word for it.
std::string Counted(int count, const char* one, const char* many);

// The GUIDs replaced inside one binary record.
struct GuidRecord {
  int64_t record_offset = 0;
  std::vector<GuidReplacement> replacements;
};

struct PreviewFile {
  std::string path;        // the original
  std::string shown_path;  // relative to the base folder when inside it
  bool binary = false;
  bool differs = false;
  int lines_changed = 0;
  std::vector<GuidRecord> records;  // binary files, in the order the records were converted
  std::string diff;                 // text files, with the diff option: a unified diff
  std::string error;                // why the two copies could not be compared

  int GuidCount() const;
};

struct PreviewOptions {
  std::string base_folder;  // the project folder
  bool diff = false;
};

struct Preview {
  std::vector<PreviewFile> files;
  bool diff = false;
};

// One entry per replacement pair of `run`, in order.
Preview BuildPreview(const RunChanges& run, const PreviewOptions& options);

// The summary lines, then (with the diff option) the diffs and one line per
// replaced GUID. Lines end in LF.
std::string FormatPreview(const Preview& preview);

// Builds and formats in one step, for the dry run's preview hook.
std::string RenderPreview(const RunChanges& run, const std::string& base_folder, bool diff);

// The originals the commit would change (their converted copies differ)
// that lie outside `project_folder`, once ".." and symbolic links in their
// paths are resolved.
std::vector<std::string> ChangedOutsideFolder(const RunChanges& run,
                                              const std::string& project_folder);

// The originals the commit would change (their converted copies differ), once each.
std::vector<std::string> ChangedOriginals(const RunChanges& run);

// The lines that name them, before a commit or in a dry run; "" for none.
std::string FormatOutsideFolder(const std::vector<std::string>& files);

// `path` relative to `base_folder` when it lies inside it, else `path` itself.
std::string ShownPath(const std::string& path, const std::string& base_folder);

}  // namespace vireo

#include "cli/preview.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "base/file_io.h"
#include "base/path_text.h"
#include "cli/real_paths.h"
#include "cli/unified_diff.h"
#include "engine/project/commit.h"

namespace vireo {

std::string Counted(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::vector<GuidRecord> RecordsOf(const RunChanges& run, const std::string& original) {
  std::vector<GuidRecord> records;
  std::map<int64_t, size_t> by_offset;
  for (const GuidReplacement& replacement : run.guid_replacements) {
    if (replacement.file != original) continue;
    auto [it, added] = by_offset.try_emplace(replacement.record_offset, records.size());
    if (added) records.push_back({replacement.record_offset, {}});
    records[it->second].replacements.push_back(replacement);
  }
  return records;
}

// Whether the commit would replace the original, as the commit decides it;
// with `want_diff` a changed text file is then read into memory for its diff.
void Compare(const StagedCopy& copy, bool want_diff, PreviewFile* file) {
  if (auto error = CopyDiffers(copy, &file->differs)) {
    file->error = Describe(error);
    return;
  }
  if (!want_diff || file->binary || !file->differs) return;
  std::string old_content, new_content;
  auto error = ReadWholeFile(file->path, &old_content);
  if (!error) error = ReadWholeFile(copy.copy, &new_content);
  if (error) {
    file->error = Describe(error);
    return;
  }
  file->diff = UnifiedDiff(file->shown_path, old_content, new_content);
}

std::string SummaryLine(const PreviewFile& file) {
  if (!file.error.empty())
    return "error     " + file.shown_path + ": cannot compare (" + file.error + ")\n";
  std::string line = file.differs ? "changed   " : "unchanged ";
  line += file.shown_path + ": ";
  if (file.binary) {
    line += Counted(file.GuidCount(), "GUID", "GUIDs") + " replaced in " +
            Counted(static_cast<int>(file.records.size()), "record", "records");
  } else {
    line += Counted(file.lines_changed, "line", "lines") + " changed";
  }
  return line + "\n";
}

}  // namespace

int PreviewFile::GuidCount() const {
  int count = 0;
  for (const GuidRecord& record : records) count += static_cast<int>(record.replacements.size());
  return count;
}

std::string ShownPath(const std::string& path, const std::string& base_folder) {
  size_t base_end = base_folder.size();
  while (base_end > 1 && IsSeparator(base_folder[base_end - 1])) --base_end;
  if (base_end == 0 || path.size() <= base_end) return path;
  if (path.compare(0, base_end, base_folder, 0, base_end) != 0) return path;
  // The base may be a root such as "/", whose separator is its last byte.
  size_t rest = base_end;
  if (!IsSeparator(base_folder[base_end - 1])) {
    if (!IsSeparator(path[rest])) return path;
  }
  while (rest < path.size() && IsSeparator(path[rest])) ++rest;
  return rest < path.size() ? path.substr(rest) : path;
}

Preview BuildPreview(const RunChanges& run, const PreviewOptions& options) {
  Preview preview;
  preview.diff = options.diff;
  for (const StagedCopy& copy : run.copies) {
    PreviewFile file;
    file.path = copy.original;
    file.shown_path = ShownPath(file.path, options.base_folder);
    file.binary = copy.binary;
    if (file.binary) {
      file.records = RecordsOf(run, file.path);
    } else if (auto found = run.changed_lines.find(file.path); found != run.changed_lines.end()) {
      file.lines_changed = found->second;
    }
    Compare(copy, options.diff, &file);
    preview.files.push_back(std::move(file));
  }
  return preview;
}

std::string FormatPreview(const Preview& preview) {
  std::string out;
  for (const PreviewFile& file : preview.files) out += SummaryLine(file);
  if (!preview.diff) return out;
  for (const PreviewFile& file : preview.files) {
    if (!file.diff.empty()) out += "\n" + file.diff;
  }
  bool first_guid = true;
  for (const PreviewFile& file : preview.files) {
    for (const GuidRecord& record : file.records) {
      for (const GuidReplacement& guid : record.replacements) {
        if (first_guid) out += "\n";
        first_guid = false;
        out += file.shown_path + " offset " + std::to_string(guid.byte_offset) + ": " + guid.role +
               " " + guid.old_text + " -> " + guid.new_text + "\n";
      }
    }
  }
  return out;
}

std::vector<std::string> ChangedOutsideFolder(const RunChanges& run,
                                              const std::string& project_folder) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  fs::path folder = fs::weakly_canonical(NativePath(project_folder), ignored);
  std::vector<std::string> outside;
  RealPaths real_paths;
  for (const StagedCopy& copy : run.copies) {
    fs::path file = real_paths.Of(copy.original);
    auto [stop, rest] = std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
    bool inside = stop == folder.end() || (stop->empty() && std::next(stop) == folder.end());
    bool differs = true;
    if (inside || (!CopyDiffers(copy, &differs) && !differs)) continue;
    if (std::find(outside.begin(), outside.end(), PathText(file)) == outside.end())
      outside.push_back(PathText(file));
  }
  return outside;
}

std::vector<std::string> ChangedOriginals(const RunChanges& run) {
  std::vector<std::string> changed;
  std::set<std::string> listed;
  for (const StagedCopy& copy : run.copies) {
    bool differs = true;
    CopyDiffers(copy, &differs);
    if (differs && listed.insert(copy.original).second) changed.push_back(copy.original);
  }
  return changed;
}

std::string FormatOutsideFolder(const std::vector<std::string>& files) {
  if (files.empty()) return "";
  std::string text = "These files outside the project's folder will be changed:\n";
  for (const std::string& file : files) text += "  " + file + "\n";
  return text;
}

std::string RenderPreview(const RunChanges& run, const std::string& base_folder, bool diff) {
  return FormatPreview(BuildPreview(run, {base_folder, diff}));
}

}  // namespace vireo

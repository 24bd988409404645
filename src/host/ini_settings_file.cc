#include "host/ini_settings_file.h"

#include <optional>
#include <vector>

#include "base/file_io.h"
#include "base/text.h"
#include "base/file_system.h"

namespace vireo {
namespace {

constexpr uint32_t kNewFilePermissions = 0644;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One line of the file with its own terminator ("" for a last line without one).
struct Line {
  std::string text;
  std::string ending;
};

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t stop = content.find_first_of("\r\n", start);
    if (stop == std::string::npos) {
      lines.push_back({content.substr(start), ""});
      break;
    }
    size_t ending = content.compare(stop, 2, "\r\n") == 0 ? 2 : 1;
    lines.push_back({content.substr(start, stop - start), content.substr(stop, ending)});
    start = stop + ending;
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string content;
  for (const Line& line : lines) content += line.text + line.ending;
  return content;
}

// The name of a "[name]" line; none for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  size_t close = line.rfind(']');
  if (line.empty() || line.front() != '[' || close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct KeyValue {
  std::string_view key;
  std::string_view value;
};

// A "key=value" line; none for a line without "=".
std::optional<KeyValue> ParseKey(std::string_view line) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyValue{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

// A value in matching quotes is given without them.
std::string Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// Where a section and a key lie among the lines.
struct Location {
  std::optional<size_t> section;  // the header of the first section of that name
  size_t section_end = 0;         // its last non-blank line (the header when none)
  std::optional<size_t> key;      // the key's line in a section of that name
};

Location Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location where;
  bool inside = false;    // in a section of that name
  bool in_first = false;  // in the first one
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i].text)) {
      inside = EqualsNoCase(*name, section);
      in_first = inside && !where.section;
      if (in_first) where.section = where.section_end = i;
      continue;
    }
    if (!inside) continue;
    if (in_first && !Trim(lines[i].text).empty()) where.section_end = i;
    auto entry = ParseKey(lines[i].text);
    if (entry && !where.key && EqualsNoCase(entry->key, key)) where.key = i;
  }
  return where;
}

std::error_code ReadLines(const std::string& path, std::vector<Line>* lines, bool* exists) {
  PathStatus status;
  if (auto error = Files().Status(path, &status)) return error;
  *exists = status.exists;
  lines->clear();
  if (!status.exists) return {};
  std::string content;
  if (auto error = ReadWholeFile(path, &content)) return error;
  *lines = SplitLines(content);
  return {};
}

// Writes `content` beside `path` and renames it over, so the file holds
// either its old or its new lines.
std::error_code ReplaceContent(const std::string& path, const std::string& content) {
  PathStatus status;
  if (auto error = Files().Status(path, &status)) return error;
  return WriteDurably(path, content, status.exists ? status.permissions : kNewFilePermissions);
}

}  // namespace

std::string IniSettingsFile::GetString(const std::string& section, const std::string& key,
                                       const std::string& default_value) {
  std::string fallback = default_value;
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  std::vector<Line> lines;
  bool exists = false;
  if (ReadLines(path_, &lines, &exists) || !exists) return fallback;
  Location where = Locate(lines, section, key);
  if (!where.key) return fallback;
  return Unquoted(ParseKey(lines[*where.key].text)->value);
}

bool IniSettingsFile::WriteString(const std::string& section, const std::string& key,
                                  const std::string* value) {
  std::vector<Line> lines;
  bool exists = false;
  if (ReadLines(path_, &lines, &exists)) return false;
  Location where = Locate(lines, section, key);
  if (!value) {
    if (!where.key) return true;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*where.key));
  } else if (where.key) {
    Line& line = lines[*where.key];
    KeyValue old = *ParseKey(line.text);
    if (old.value == *value) return true;
    line = {std::string(old.key) + "=" + *value, "\r\n"};
  } else {
    std::vector<Line> added;
    size_t at = lines.size();
    if (where.section) {
      at = where.section_end + 1;
    } else {
      if (!lines.empty() && !Trim(lines.back().text).empty()) added.push_back({"", "\r\n"});
      added.push_back({"[" + section + "]", "\r\n"});
    }
    added.push_back({key + "=" + *value, "\r\n"});
    if (at > 0 && lines[at - 1].ending.empty()) lines[at - 1].ending = "\r\n";
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
  }
  return !ReplaceContent(path_, JoinLines(lines));
}

}  // namespace vireo

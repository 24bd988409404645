#include "engine/project/project_file.h"

#include "engine/catalogue/grid_catalogue.h"
#include "engine/file_io.h"
#include "engine/project/temp_files.h"
#include "engine/text.h"

namespace vireo {
namespace {

// The text after the first ";" of a line (the whole line when there is none),
// without its surrounding spaces.
std::string ListedPath(std::string_view line) {
  size_t semicolon = line.find(';');
  std::string_view listed = semicolon == kNotFound ? line : line.substr(semicolon + 1);
  return std::string(TrimSpaces(listed));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool ScanProjectFile(ConversionRun& run, const std::string& path, const PathResolver& resolver) {
  std::string directory = ProjectDirectory(path);
  LineReader reader;
  if (auto error = reader.Open(path)) {
    run.Fail(path + ": cannot open the project file (" + Describe(error) + ")");
    return false;
  }
  std::string line;
  while (reader.ReadLine(&line)) {
    if (line.find('\0') != std::string::npos) {
      run.Fail(path + ": line " + std::to_string(reader.lines_read()) +
               " holds a NUL byte: not a project file");
      return false;
    }
    if (StartsWithNoCase(line, "Module=") || StartsWithNoCase(line, "Class=")) {
      run.ModuleFiles.push_back(resolver.Resolve(directory, ListedPath(line)));
    }
  }
  if (reader.error()) {
    run.Fail(path + ": cannot read the project file (" + Describe(reader.error()) + ")");
    return false;
  }
  return true;
}

int16_t RewriteProjectFile(ConversionRun& run, const std::string& path, int16_t from_type,
                           int16_t to_type) {
  std::string temp;
  if (!MakeTempFile(run, path, &temp)) return kFailed;
  LineReader reader;
  LineWriter writer;
  if (auto error = reader.Open(path)) {
    DropUnrecordedTemp(temp);
    run.Fail(path + ": cannot open the project file (" + Describe(error) + ")");
    return kFailed;
  }
  if (auto error = writer.Open(temp)) {
    DropUnrecordedTemp(temp);
    run.Fail(temp + ": cannot write the temporary copy (" + Describe(error) + ")");
    return kFailed;
  }
  RecordPair(run, path, temp);
  const std::string target_line = ObjectLineFor(to_type);
  bool replaced = false;
  std::string line;
  while (reader.ReadLine(&line)) {
    if (IsObjectLineFor(line, to_type)) continue;
    if (!replaced && IsObjectLineFor(line, from_type)) {
      writer.WriteLine(target_line);
      replaced = true;
      continue;
    }
    writer.WriteLine(line);
  }
  if (reader.error()) {
    run.Fail(path + ": cannot read the project file (" + Describe(reader.error()) + ")");
    return kFailed;
  }
  if (auto error = writer.Close()) {
    run.Fail(path + ": cannot write its temporary copy " + temp + " (" + Describe(error) + ")");
    return kFailed;
  }
  if (replaced) run.changed_lines[path] += 1;
  return replaced ? kChanged : kUnchanged;
}

bool IsObjectLineFor(std::string_view line, int16_t position) {
  const std::string& libid = GridCatalogue().Item(position).LIBID;
  return StartsWithNoCase(line, "Object={") && line.size() >= 8 + libid.size() &&
         EqualsNoCase(line.substr(8, libid.size()), libid);
}

std::string ObjectLineFor(int16_t position) {
  const GridVersion& row = GridCatalogue().Item(position);
  return "Object=" + Braced(row.LIBID) + row.Version + "; " + row.OCXFileName();
}

std::string ProjectDirectory(const std::string& path) {
  size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(0, separator + 1);
}

std::string Braced(const std::string& text) { return "{" + text + "}"; }

bool FrxOffset(std::string_view text, int32_t* offset) {
  size_t colon = text.rfind(':');
  if (colon == kNotFound) {
    *offset = 0;
    return true;
  }
  std::string_view digits = TrimSpaces(text.substr(colon + 1));
  if (digits.empty() || digits.size() > 8) return false;
  uint32_t value = 0;
  for (char c : digits) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  if (value >= 0x80000000u) return false;
  *offset = static_cast<int32_t>(value);
  return true;
}

}  // namespace vireo

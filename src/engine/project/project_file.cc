#include "engine/project/project_file.h"

#include <optional>

#include "engine/catalogue/grid_catalogue.h"
#include "base/file_io.h"
#include "engine/project/text_conversion.h"
#include "base/text.h"

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

// Whether a line of the project file references the library of a catalogue
// row; read by a reader of its own. Nothing, with the reason in `run`, when
// the file cannot be read.
std::optional<bool> ReferencesLibrary(ConversionRun& run, const std::string& path,
                                      int16_t position) {
  LineReader reader;
  if (auto error = reader.Open(path)) {
    run.Fail(path + ": cannot be opened again (" + Describe(error) + ")");
    return std::nullopt;
  }
  std::string line;
  while (reader.ReadLine(&line)) {
    if (IsObjectLineFor(line, position)) return true;
  }
  if (reader.error()) {
    run.Fail(path + ": cannot be read (" + Describe(reader.error()) + ")");
    return std::nullopt;
  }
  return false;
}

}  // namespace

std::string FileStem(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

const char* SideExtensionOf(std::string_view project_line) {
  static constexpr std::pair<const char*, const char*> kFormLike[] = {
      {"Form=", ".frx"},
      {"UserControl=", ".ctx"},
      {"UserDocument=", ".dox"},
      {"PropertyPage=", ".pgx"}};
  for (const auto& [key, extension] : kFormLike) {
    if (StartsWithNoCase(project_line, key)) return extension;
  }
  return nullptr;
}

std::string SideExtensionForText(const std::string& text_path) {
  static constexpr std::pair<const char*, const char*> kByText[] = {
      {".ctl", ".ctx"}, {".dob", ".dox"}, {".pag", ".pgx"}};
  for (const auto& [text, side] : kByText) {
    if (EndsWithNoCase(text_path, text)) return side;
  }
  return ".frx";
}

std::string SideFileOf(const std::string& form_path, const std::string& extension) {
  std::string directory = ProjectDirectory(form_path);
  if (directory == form_path) directory = "./";
  std::string wanted = FileStem(form_path) + extension;
  PathStatus status;
  if (!Files().Status(directory + wanted, &status) && status.exists && !status.is_directory)
    return directory + wanted;
  std::vector<std::string> names;
  if (Files().ListDirectory(directory, &names)) return "";
  for (const std::string& name : names) {
    if (EqualsNoCase(name, wanted)) return directory + name;
  }
  return "";
}

std::string ListedFormPath(std::string_view line, const std::string& directory,
                           const PathResolver& resolver) {
  std::string_view value = line.substr(line.find('=') + 1);
  return resolver.Resolve(directory, std::string(TrimSpaces(value)));
}

bool ListProjectFiles(const std::string& project_file, const PathResolver& resolver,
                      std::vector<ListedFile>* files, std::string* problem) {
  using Kind = ListedFile::Kind;
  std::string directory = ProjectDirectory(project_file);
  LineReader reader;
  if (auto error = reader.Open(project_file)) {
    *problem = project_file + ": cannot open the project file (" + Describe(error) + ")";
    return false;
  }
  files->assign(1, {Kind::kProject, project_file});
  std::string line;
  while (reader.ReadLine(&line)) {
    if (const char* extension = SideExtensionOf(line)) {
      std::string form = ListedFormPath(line, directory, resolver);
      files->push_back({Kind::kForm, form});
      if (std::string side = SideFileOf(form, extension); !side.empty())
        files->push_back({Kind::kSideFile, side});
    } else if (StartsWithNoCase(line, "Module=") || StartsWithNoCase(line, "Class=")) {
      files->push_back({Kind::kCode, resolver.Resolve(directory, ListedPath(line))});
    }
  }
  if (reader.error()) {
    *problem = project_file + ": cannot read the project file (" + Describe(reader.error()) + ")";
    return false;
  }
  return true;
}

bool ListedFiles(const std::string& project_file, const PathResolver& resolver,
                 std::vector<std::string>* files, std::string* problem) {
  std::vector<ListedFile> listed;
  if (!ListProjectFiles(project_file, resolver, &listed, problem)) return false;
  files->clear();
  for (ListedFile& file : listed) files->push_back(std::move(file.path));
  return true;
}

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
    } else if (SideExtensionOf(line)) {
      run.listed_forms.push_back(ListedFormPath(line, directory, resolver));
    } else {
      for (int16_t p = 1; p <= GridCatalogue().Count(); ++p) {
        if (IsObjectLineFor(line, p)) run.project_references.insert(p);
      }
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
  return ConvertTextFile(run, path, [&](LineReader& in, LineWriter& out) {
    const std::string target_line = ObjectLineFor(to_type);
    bool replaced = false;
    std::optional<bool> references_source;
    std::string line;
    while (in.ReadLine(&line)) {
      if (!replaced && IsObjectLineFor(line, from_type)) {
        out.WriteLine(target_line);
        replaced = true;
        continue;
      }
      if (IsObjectLineFor(line, to_type)) {
        // One before any source reference goes only when a source reference follows.
        if (!replaced && !references_source) {
          references_source = ReferencesLibrary(run, path, from_type);
          if (!references_source) return kFailed;
        }
        if (replaced || *references_source) continue;
      }
      out.WriteLine(line);
    }
    if (replaced) run.changed_lines[path] += 1;
    return replaced ? kChanged : kUnchanged;
  });
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

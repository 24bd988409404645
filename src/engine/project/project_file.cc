#include "engine/project/project_file.h"

#include "base/file_io.h"
#include "base/text.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/project.h"
#include "engine/project/text_conversion.h"

namespace vireo {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string FileStem(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
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

std::vector<ListedFile> ListProjectFiles(const Project& project) {
  using Kind = ListedFile::Kind;
  std::vector<ListedFile> files{{Kind::kProject, project.path}};
  for (const ProjectComponent& component : project.components) {
    if (component.IsCode()) {
      files.push_back({Kind::kCode, component.path});
    } else if (component.IsFormLike()) {
      files.push_back({Kind::kForm, component.path});
      if (std::string side = SideFileOf(component.path, component.SideExtension()); !side.empty())
        files.push_back({Kind::kSideFile, side});
    }
  }
  return files;
}

bool ListProjectFiles(const std::string& project_file, const PathResolver& resolver,
                      std::vector<ListedFile>* files, std::string* problem) {
  Project project;
  if (!ReadProject(project_file, resolver, &project, problem)) return false;
  *files = ListProjectFiles(project);
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

int16_t RewriteProjectFile(FileWork& work, const Project& project, int16_t from_type,
                           int16_t to_type) {
  const std::string& path = project.path;
  return ConvertTextFile(work, path, [&](LineReader& in, LineWriter& out) {
    const std::string target_line = ObjectLineFor(to_type);
    const bool references_source = project.references.count(from_type) > 0;
    bool replaced = false;
    std::string line;
    while (in.ReadLine(&line)) {
      if (!replaced && IsObjectLineFor(line, from_type)) {
        out.WriteLine(target_line);
        replaced = true;
        continue;
      }
      if (IsObjectLineFor(line, to_type)) {
        // One before any source reference goes only when a source reference follows.
        if (replaced || references_source) continue;
      }
      out.WriteLine(line);
    }
    if (replaced) work.result.changed_lines[path] += 1;
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

#include "engine/project/project.h"

#include "base/file_io.h"
#include "base/text.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/project_file.h"

namespace vireo {
namespace {

struct KindOfLine {
  const char* key;
  ComponentKind kind;
  const char* side_extension;  // "" for a component without a side file
  bool named;                  // "Key=Name; path"
};

constexpr KindOfLine kKinds[] = {{"Form=", ComponentKind::kForm, ".frx", false},
                                 {"UserControl=", ComponentKind::kUserControl, ".ctx", false},
                                 {"UserDocument=", ComponentKind::kUserDocument, ".dox", false},
                                 {"PropertyPage=", ComponentKind::kPropertyPage, ".pgx", false},
                                 {"Module=", ComponentKind::kModule, "", true},
                                 {"Class=", ComponentKind::kClass, "", true},
                                 {"Designer=", ComponentKind::kDesigner, "", false}};

const KindOfLine& Row(ComponentKind kind) {
  for (const KindOfLine& row : kKinds) {
    if (row.kind == kind) return row;
  }
  return kKinds[0];
}

const KindOfLine* RowOfLine(std::string_view line) {
  for (const KindOfLine& row : kKinds) {
    if (StartsWithNoCase(line, row.key)) return &row;
  }
  return nullptr;
}

// A named component's line is "Key=Name; path" (a line without a ";" is
// all path); the others' "Key=path".
ProjectComponent ComponentOf(const KindOfLine& row, std::string_view line) {
  ProjectComponent component;
  component.kind = row.kind;
  const size_t key = std::string_view(row.key).size();
  std::string_view value = line.substr(key);
  if (row.named) {
    size_t semicolon = line.find(';');
    if (semicolon != kNotFound) component.name = TrimSpaces(line.substr(key, semicolon - key));
    value = semicolon == kNotFound ? line : line.substr(semicolon + 1);
  }
  component.written = std::string(TrimSpaces(value));
  return component;
}

}  // namespace

bool ProjectComponent::IsFormLike() const { return *Row(kind).side_extension != '\0'; }

std::string ProjectComponent::SideExtension() const { return Row(kind).side_extension; }

std::vector<std::string> Project::CodeFiles() const {
  std::vector<std::string> files;
  for (const ProjectComponent& component : components) {
    if (component.IsCode()) files.push_back(component.path);
  }
  return files;
}

std::vector<std::string> Project::FormLikeFiles() const {
  std::vector<std::string> files;
  for (const ProjectComponent& component : components) {
    if (component.IsFormLike()) files.push_back(component.path);
  }
  return files;
}

bool ReadProject(const std::string& path, const PathResolver& resolver, Project* project,
                 std::string* problem) {
  *project = Project();
  project->path = path;
  project->directory = ProjectDirectory(path);
  LineReader reader;
  if (auto error = reader.Open(path)) {
    *problem = path + ": cannot open the project file (" + Describe(error) + ")";
    return false;
  }
  std::string line;
  while (reader.ReadLine(&line)) {
    int number = static_cast<int>(reader.lines_read());
    if (line.find('\0') != std::string::npos) {
      *problem =
          path + ": is not a project file (line " + std::to_string(number) + " holds a NUL byte)";
      return false;
    }
    project->has_setting |= line.find('=') != std::string::npos;
    if (const KindOfLine* row = RowOfLine(line)) {
      ProjectComponent component = ComponentOf(*row, line);
      component.path = resolver.Resolve(project->directory, component.written);
      component.line = number;
      project->components.push_back(std::move(component));
      continue;
    }
    for (int16_t p = 1; p <= GridCatalogue().Count(); ++p) {
      if (IsObjectLineFor(line, p)) project->references.insert(p);
    }
  }
  if (reader.error()) {
    *problem = path + ": cannot read the project file (" + Describe(reader.error()) + ")";
    return false;
  }
  return true;
}

}  // namespace vireo

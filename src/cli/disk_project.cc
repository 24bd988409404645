#include "cli/disk_project.h"

#include <filesystem>
#include <string_view>

#include "base/file_io.h"
#include "base/path_text.h"
#include "base/text.h"
#include "engine/project/project.h"
#include "engine/project/project_file.h"

namespace vireo {
namespace {

class DiskComponent final : public IdeComponent {
 public:
  DiskComponent(std::string name, std::vector<std::string> files)
      : name_(std::move(name)), files_(std::move(files)) {}
  bool IsDirty() override { return false; }
  int FileCount() override { return static_cast<int>(files_.size()); }
  std::string Name() override { return name_; }
  std::string FileNames(int index) override {
    if (index < 0 || index >= FileCount()) throw HostError("no file " + std::to_string(index));
    return files_[static_cast<size_t>(index)];
  }

 private:
  std::string name_;
  std::vector<std::string> files_;
};

class DiskProject final : public IdeProject {
 public:
  DiskProject(std::string file_name, std::vector<std::shared_ptr<IdeComponent>> components)
      : file_name_(std::move(file_name)), components_(std::move(components)) {}
  std::string FileName() override { return file_name_; }
  bool IsDirty() override { return false; }
  std::vector<std::shared_ptr<IdeComponent>> Components() override { return components_; }

 private:
  std::string file_name_;
  std::vector<std::shared_ptr<IdeComponent>> components_;
};

bool IsProjectFileName(const std::string& name) {
  return EndsWithNoCase(name, ".vbp") || EndsWithNoCase(name, ".mak");
}

std::string Exists(const std::string& path) {
  PathStatus status;
  return !Files().Status(path, &status) && status.exists && !status.is_directory ? path : "";
}

bool IsFolder(const std::string& path) {
  PathStatus status;
  return !Files().Status(path, &status) && status.exists && status.is_directory;
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct FormFacts {
  std::string name;           // from "Attribute VB_Name", else the file's stem
  bool names_binary = false;  // a property refers to its side file
};

// Where a form's description (its Begin ... End blocks) stands after a line.
class DescriptionDepth {
 public:
  void Take(std::string_view text) {
    if (StartsWithNoCase(text, "Begin")) {
      ++depth_;
      begun_ = true;
    } else if (depth_ > 0 && StartsWithNoCase(text, "End") &&
               (text.size() == 3 || StartsWithNoCase(text, "EndProperty"))) {
      --depth_;
    }
  }
  // The description has closed: only its attributes and the code follow.
  bool Closed() const { return begun_ && depth_ == 0; }

 private:
  int depth_ = 0;
  bool begun_ = false;
};

// Reads the description and the attribute lines after it; the code that
// follows holds neither properties nor the form's name.
std::error_code ReadFormFacts(const std::string& form_path, const std::string& extension,
                              FormFacts* facts) {
  *facts = {FileStem(form_path)};
  std::string reference = extension + "\":";
  bool named = false;
  DescriptionDepth description;
  // The description is mostly a few kilobytes at the start of a long file.
  LineReader reader(8 * 1024);
  std::string line;
  if (auto error = reader.Open(form_path)) return error;
  while (reader.ReadLine(&line)) {
    std::string_view text = TrimSpaces(line);
    bool attribute = StartsWithNoCase(text, "Attribute");
    if (description.Closed() && !attribute && !text.empty()) break;
    description.Take(text);
    facts->names_binary |= ContainsNoCase(line, reference);
    if (named || !StartsWithNoCase(text, "Attribute VB_Name")) continue;
    size_t open = text.find('"');
    size_t close = open == kNotFound ? kNotFound : text.find('"', open + 1);
    if (close != kNotFound) {
      facts->name = std::string(text.substr(open + 1, close - open - 1));
      named = true;
    }
  }
  return {};
}

struct Components {
  std::vector<std::shared_ptr<IdeComponent>> listed;
  std::vector<std::string> missing_forms;
  // Files the project needs that are not there: a form's side file that its
  // text names, a module or class.
  std::vector<std::string> missing_files;
};

// A missing form with no side file beside it has nothing to convert and is
// left out; one whose side file is there, or a folder, cannot be converted
// as listed. `extension` is the side file's (".frx" for a form).
bool AddForm(const std::string& form, const std::string& extension, Components* components,
             std::string* problem) {
  PathStatus status;
  if (auto error = Files().Status(form, &status)) {
    *problem = form + ": the listed form cannot be examined (" + Describe(error) + ")";
    return false;
  }
  if (status.is_directory) {
    *problem = form + ": the listed form is a folder";
    return false;
  }
  std::string binary = SideFileOf(form, extension);
  if (!status.exists) {
    if (binary.empty()) {
      components->missing_forms.push_back(form);
      return true;
    }
    components->missing_files.push_back(form + " (its binary file " + NameOf(binary) +
                                        " is there)");
    return true;
  }
  std::vector<std::string> files{form};
  FormFacts facts;
  if (auto error = ReadFormFacts(form, extension, &facts)) {
    *problem = form + ": the listed form cannot be opened (" + Describe(error) + ")";
    return false;
  }
  if (!binary.empty()) {
    files.push_back(binary);
  } else if (facts.names_binary) {
    components->missing_files.push_back(ProjectDirectory(form) + FileStem(form) + extension +
                                        " (named by " + NameOf(form) + ")");
  }
  components->listed.push_back(std::make_shared<DiskComponent>(facts.name, files));
  return true;
}

// False, with `problem` set, for a form that cannot be converted as listed.
bool AddComponent(const ProjectComponent& component, Components* components, std::string* problem) {
  if (component.IsFormLike())
    return AddForm(component.path, component.SideExtension(), components, problem);
  if (Exists(component.path).empty() && !IsFolder(component.path))
    components->missing_files.push_back(component.path);
  components->listed.push_back(
      std::make_shared<DiskComponent>(component.name, std::vector<std::string>{component.path}));
  return true;
}

// "2 listed files are missing: a.bas, b.frx"; the paths below the project's
// folder relative to it.
std::string MissingFilesProblem(const std::string& project_path,
                                const std::vector<std::string>& missing) {
  std::string folder = ProjectDirectory(project_path);
  std::string names;
  for (const std::string& path : missing) {
    bool below = path.compare(0, folder.size(), folder) == 0;
    names += (names.empty() ? "" : ", ") + (below ? path.substr(folder.size()) : path);
  }
  return project_path + ": " +
         (missing.size() == 1 ? std::string("a listed file is missing: ")
                              : std::to_string(missing.size()) + " listed files are missing: ") +
         names + "; nothing was changed";
}

// `name` in `folder`, joined with the platform's separator.
std::string InFolder(const std::string& folder, const std::string& name) {
  return PathText(NativePath(folder) / NativePath(name));
}

}  // namespace

std::shared_ptr<IdeProject> DiskIde::ActiveProject() {
  return std::make_shared<DiskProject>(project_path_, components_);
}

std::shared_ptr<IdeAddInMenu> DiskIde::AddInMenu() {
  throw HostError("the command line has no add-in menu");
}

bool OpenDiskProject(const std::string& project_path, const PathResolver& resolver,
                     std::unique_ptr<DiskIde>* ide, std::string* problem, bool* files_missing) {
  if (files_missing) *files_missing = false;
  Project project;
  if (!ReadProject(project_path, resolver, &project, problem)) return false;
  if (!project.has_setting) {
    *problem = project_path + ": is not a project file (no line of the form Key=Value)";
    return false;
  }
  Components components;
  for (const ProjectComponent& component : project.components) {
    if (!component.IsFormLike() && !component.IsCode()) continue;
    if (!AddComponent(component, &components, problem)) return false;
  }
  if (!components.missing_files.empty()) {
    *problem = MissingFilesProblem(project_path, components.missing_files);
    if (files_missing) *files_missing = true;
    return false;
  }
  *ide = std::make_unique<DiskIde>(project_path, std::move(components.listed),
                                   std::move(components.missing_forms));
  return true;
}

std::string NotAProject(const std::string& path) {
  static constexpr std::pair<const char*, const char*> kKinds[] = {
      {".frm", "a form file"},
      {".frx", "a form's binary file"},
      {".bas", "a code module"},
      {".cls", "a class module"},
      {".ctl", "a UserControl file"},
      {".ctx", "a UserControl's binary file"},
      {".dob", "a UserDocument file"},
      {".dox", "a UserDocument's binary file"},
      {".pag", "a PropertyPage file"},
      {".pgx", "a PropertyPage's binary file"},
      {".dsr", "a designer file"},
      {".vbg", "a project group"},
      {".vbw", "a project's window list"},
      {".res", "a resource file"},
      {".ocx", "a control library"}};
  for (const auto& [extension, kind] : kKinds) {
    if (EndsWithNoCase(path, extension)) return kind;
  }
  PathStatus status;
  if (IsProjectFileName(path) || Files().Status(path, &status) || !status.is_regular) return "";
  LineReader reader;
  std::string first;
  if (reader.Open(path) || !reader.ReadLine(&first)) return "";
  if (StartsWithNoCase(first, "VERSION ")) return "a form or class file";
  if (StartsWithNoCase(first, "Attribute VB_Name")) return "a code module";
  return "";
}

bool LocateProjectFile(const std::string& argument, std::string* project_path,
                       std::string* problem) {
  std::error_code ignored;
  std::string absolute =
      PathText(std::filesystem::absolute(NativePath(argument), ignored).lexically_normal());
  PathStatus status;
  if (Files().Status(absolute, &status) || !status.exists) {
    *problem = argument + ": no such project file or folder";
    return false;
  }
  if (!status.is_directory) {
    if (std::string kind = NotAProject(absolute); !kind.empty()) {
      *problem = argument + ": is " + kind +
                 ", not a project; name the project file (.vbp or .mak) that lists it";
      return false;
    }
    *project_path = absolute;
    return true;
  }
  std::vector<std::string> names, found;
  if (auto error = Files().ListDirectory(absolute, &names)) {
    *problem = argument + ": cannot list the folder (" + Describe(error) + ")";
    return false;
  }
  for (const std::string& name : names) {
    if (IsProjectFileName(name) && !Exists(InFolder(absolute, name)).empty()) found.push_back(name);
  }
  if (found.size() != 1) {
    *problem =
        argument + (found.empty() ? ": the folder holds no .vbp or .mak project file"
                                  : ": the folder holds more than one project file; name one, "
                                    "or give -r to convert them all");
    return false;
  }
  *project_path = InFolder(absolute, found[0]);
  return true;
}

}  // namespace vireo

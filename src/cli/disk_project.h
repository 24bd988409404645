// The command line's host: the project as it lies on disk plays the IDE.
// Its components are the project file's Form=, Module= and Class= lines in
// file order; a form has two files when its .frx exists beside it; a listed
// form that is missing, with no .frx either, is left out and remembered;
// nothing is ever unsaved, and reloading does nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/ide.h"
#include "host/path_resolver.h"

namespace vireo {

class DiskIde final : public IdeApplication {
 public:
  DiskIde(std::string project_path, std::vector<std::shared_ptr<IdeComponent>> components,
          std::vector<std::string> missing_forms = {})
      : project_path_(std::move(project_path)),
        components_(std::move(components)),
        missing_forms_(std::move(missing_forms)) {}

  std::shared_ptr<IdeProject> ActiveProject() override;
  void LoadProject(const std::string& path) override { reloaded_ = path; }
  std::shared_ptr<IdeAddInMenu> AddInMenu() override;
  const std::string& reloaded() const { return reloaded_; }
  // The listed forms left out, as resolved paths, in file order.
  const std::vector<std::string>& missing_forms() const { return missing_forms_; }

 private:
  std::string project_path_;
  std::vector<std::shared_ptr<IdeComponent>> components_;
  std::vector<std::string> missing_forms_;
  std::string reloaded_;
};

// Reads the project file's components. False, with `problem` naming the file
// and what is wrong, when the project file cannot be read or is no project
// file, or a listed form is a folder, cannot be opened, or is missing while
// its .frx is there; or, with `files_missing` set, when files it needs are
// missing (a module or class, a side file a form's text names), all named
// in one problem.
bool OpenDiskProject(const std::string& project_path, const PathResolver& resolver,
                     std::unique_ptr<DiskIde>* ide, std::string* problem,
                     bool* files_missing = nullptr);

// What a file given as a project plainly is instead ("a form file", "a code
// module", "a project group", ...), by its extension or its first line;
// empty when it may be a project file.
std::string NotAProject(const std::string& path);

// The project file that PROJECT names: the file itself (.vbp or .mak), or the
// only such file in a folder. An absolute path; false with a reason otherwise.
bool LocateProjectFile(const std::string& argument, std::string* project_path,
                       std::string* problem);

}  // namespace vireo

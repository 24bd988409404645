// The command line's host: the project as it lies on disk plays the IDE.
// Its components are the project file's Form=, Module= and Class= lines in
// file order; a form has two files when its .frx exists beside it; nothing
// is ever unsaved, and reloading does nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/ide.h"
#include "host/path_resolver.h"

namespace vireo {

class DiskIde final : public IdeApplication {
 public:
  DiskIde(std::string project_path, std::vector<std::shared_ptr<IdeComponent>> components)
      : project_path_(std::move(project_path)), components_(std::move(components)) {}

  std::shared_ptr<IdeProject> ActiveProject() override;
  void LoadProject(const std::string& path) override { reloaded_ = path; }
  std::shared_ptr<IdeAddInMenu> AddInMenu() override;
  const std::string& reloaded() const { return reloaded_; }

 private:
  std::string project_path_;
  std::vector<std::shared_ptr<IdeComponent>> components_;
  std::string reloaded_;
};

// Reads the project file's components. False, with `problem` naming the file
// and what is wrong, when the project file cannot be read or is no project file.
bool OpenDiskProject(const std::string& project_path, const PathResolver& resolver,
                     std::unique_ptr<DiskIde>* ide, std::string* problem);

// The project file that PROJECT names: the file itself (.vbp or .mak), or the
// only such file in a folder. An absolute path; false with a reason otherwise.
bool LocateProjectFile(const std::string& argument, std::string* project_path,
                       std::string* problem);

}  // namespace vireo

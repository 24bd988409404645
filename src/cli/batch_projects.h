// Which projects a batch run converts, and how they fall into units: the
// projects named on the command line (project files, project groups, folders)
// each once, and the sets of projects that share a file.
#pragma once

#include <string>
#include <vector>

#include "base/file_system.h"
#include "engine/project/project_file.h"
#include "host/path_resolver.h"

namespace vireo {

// Each argument is a project file (.vbp, .mak), a project group (.vbg: its
// Project= and StartupProject= lines, relative to the group), or a folder:
// with `recursive` every project below it (hidden folders and symbolic links
// to folders are not entered), without it the one project it holds. The same
// project reached twice counts once. False, with the reason naming the
// argument, when one names nothing that can be converted.
bool CollectProjects(const std::vector<std::string>& arguments, bool recursive,
                     const PathResolver& resolver, std::vector<std::string>* projects,
                     std::string* problem);

// A file a project lists that is there as a regular file (symbolic links
// followed).
struct PlannedFile {
  ListedFile::Kind kind;
  std::string path;       // as the project lists it
  std::string real;       // the path it reaches; empty when that cannot be told
  FileIdentity identity;  // (device, file id)
  uint64_t size = 0;
};

// The planned files of each project, in the order of `projects`, each
// project's in file order; none for a project that cannot be read (its run
// says why). The projects are read a few at a time.
std::vector<std::vector<PlannedFile>> ListProjects(const std::vector<std::string>& projects,
                                                   const PathResolver& resolver);

// Projects that list one same file form a unit; the others are units of
// their own. Indexes into `listings` (see ListProjects), each unit in the
// order of its projects, the units in the order of their first project.
std::vector<std::vector<size_t>> GroupIntoUnits(
    const std::vector<std::vector<PlannedFile>>& listings);

}  // namespace vireo

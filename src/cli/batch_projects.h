// Which projects a batch run converts, and how they fall into units: the
// projects named on the command line (project files, project groups, folders)
// each once, and the sets of projects that share a file.
#pragma once

#include <functional>
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

// Reads each project's list of files, a few projects at a time, and hands
// `each`, on the thread that read it, the planned files of the project at
// that index, in file order: none for a project that cannot be read (its
// run says why). Returns the identities of each project's planned files.
using EachListing = std::function<void(size_t project, std::vector<PlannedFile>& files)>;
std::vector<std::vector<FileIdentity>> ListProjects(const std::vector<std::string>& projects,
                                                    const PathResolver& resolver,
                                                    const EachListing& each);

// Projects that list one same file form a unit; the others are units of
// their own. Indexes into `listed` (the identities ListProjects returns),
// each unit in the order of its projects, the units in the order of their
// first project.
std::vector<std::vector<size_t>> GroupIntoUnits(
    const std::vector<std::vector<FileIdentity>>& listed);

}  // namespace vireo

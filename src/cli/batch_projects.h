// Which projects a batch run converts, and how they fall into units: the
// projects named on the command line (project files, project groups, folders)
// each once, and the sets of projects that share a file.
#pragma once

#include <string>
#include <vector>

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

// Projects that list one same file (symbolic links resolved) form a unit;
// the others are units of their own. Indexes into `projects`, each unit in
// the order of its projects, the units in the order of their first project.
std::vector<std::vector<size_t>> GroupIntoUnits(const std::vector<std::string>& projects,
                                                const PathResolver& resolver);

}  // namespace vireo

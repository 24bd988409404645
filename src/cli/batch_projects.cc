#include "cli/batch_projects.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <numeric>
#include <set>
#include <thread>
#include <utility>

#include "base/file_io.h"
#include "base/path_text.h"
#include "base/text.h"
#include "cli/disk_project.h"
#include "engine/project/at_once.h"
#include "engine/project/project_file.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using Identity = FileIdentity;

bool HasExtension(const std::string& name, const char* extension) {
  std::string ext = PathText(NativePath(name).extension());
  return EqualsNoCase(ext, extension);
}

bool IsProjectFile(const std::string& name) {
  return HasExtension(name, ".vbp") || HasExtension(name, ".mak");
}

std::string Absolute(const std::string& path) {
  std::error_code ignored;
  return PathText(fs::absolute(NativePath(path), ignored).lexically_normal());
}

// The value of a "Project=" or "StartupProject=" line; empty for any other.
std::string GroupMember(const std::string& line) {
  for (const char* key : {"Project=", "StartupProject="}) {
    if (StartsWithNoCase(line, key)) return std::string(TrimSpaces(line.substr(std::strlen(key))));
  }
  return "";
}

// What is wrong with a group's member, which a group must name as a project
// file: empty when nothing is.
std::string MemberProblem(const std::string& member, const PathStatus& group) {
  PathStatus status;
  if (Files().Status(member, &status) || !status.exists)
    return "names " + member + ", which does not exist";
  if (SameFile(status, group)) return "names the group itself";
  if (status.is_directory) return "names a folder, " + member + ", not a project";
  if (HasExtension(member, ".vbg"))
    return "names another project group, " + member + "; a group lists projects only";
  if (std::string kind = NotAProject(member); !kind.empty())
    return "names " + member + ", which is " + kind + ", not a project";
  return "";
}

bool ReadGroup(const std::string& group, const PathResolver& resolver,
               std::vector<std::string>* projects, std::string* problem) {
  LineReader in;
  if (auto error = in.Open(group)) {
    *problem = group + ": cannot be opened (" + Describe(error) + ")";
    return false;
  }
  PathStatus own;
  Files().Status(group, &own);
  std::string directory = ProjectDirectory(group);
  std::string line;
  size_t before = projects->size();
  while (in.ReadLine(&line)) {
    std::string member = GroupMember(line);
    if (member.empty()) continue;
    std::string path = Absolute(resolver.Resolve(directory, member));
    if (std::string wrong = MemberProblem(path, own); !wrong.empty()) {
      *problem = group + " line " + std::to_string(in.lines_read()) + ": " + wrong;
      return false;
    }
    projects->push_back(path);
  }
  if (in.error()) {
    *problem = group + ": cannot be read (" + Describe(in.error()) + ")";
    return false;
  }
  if (projects->size() == before) {
    *problem = group + ": the project group lists no project";
    return false;
  }
  return true;
}

// Every project file below `folder`, in name order. Folders are listed
// through the file seam, so a survey leaves their access times alone.
void FindProjectsBelow(const std::string& folder, std::vector<std::string>* projects) {
  std::vector<std::string> found, pending{folder};
  while (!pending.empty()) {
    std::string directory = pending.back();
    pending.pop_back();
    std::vector<std::string> names;
    if (Files().ListDirectory(directory, &names)) continue;
    for (const std::string& name : names) {
      std::string path = PathText((NativePath(directory) / NativePath(name)).lexically_normal());
      std::error_code error;
      fs::file_status own = fs::symlink_status(NativePath(path), error);
      bool hidden = name[0] == '.';
      if (error || hidden) continue;
      if (fs::is_directory(own)) {
        pending.push_back(path);
      } else if (IsProjectFile(name) && fs::is_regular_file(fs::status(NativePath(path), error)) &&
                 !error) {
        found.push_back(path);
      }
    }
  }
  std::sort(found.begin(), found.end());
  projects->insert(projects->end(), found.begin(), found.end());
}

bool Expand(const std::string& argument, bool recursive, const PathResolver& resolver,
            std::vector<std::string>* projects, std::string* problem) {
  std::string absolute = Absolute(argument);
  PathStatus status;
  if (Files().Status(absolute, &status) || !status.exists) {
    *problem = argument + ": no such project file, project group or folder";
    return false;
  }
  if (!status.is_directory && !status.is_regular) {
    *problem = argument + ": is neither a regular file nor a folder";
    return false;
  }
  if (status.is_directory && recursive) {
    size_t before = projects->size();
    FindProjectsBelow(absolute, projects);
    if (projects->size() == before) {
      *problem = argument + ": no .vbp or .mak project file below this folder";
      return false;
    }
    return true;
  }
  if (!status.is_directory && HasExtension(absolute, ".vbg"))
    return ReadGroup(absolute, resolver, projects, problem);
  std::string project;
  if (!LocateProjectFile(argument, &project, problem)) return false;
  projects->push_back(project);
  return true;
}

class UnionFind {
 public:
  explicit UnionFind(size_t size) : parent_(size) {
    std::iota(parent_.begin(), parent_.end(), size_t{0});
  }
  size_t Root(size_t i) {
    while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
    return i;
  }
  void Join(size_t a, size_t b) {
    a = Root(a);
    b = Root(b);
    if (a != b) parent_[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<size_t> parent_;
};

}  // namespace

bool CollectProjects(const std::vector<std::string>& arguments, bool recursive,
                     const PathResolver& resolver, std::vector<std::string>* projects,
                     std::string* problem) {
  std::vector<std::string> found;
  for (const std::string& argument : arguments) {
    if (!Expand(argument, recursive, resolver, &found, problem)) return false;
  }
  std::set<Identity> seen;
  for (const std::string& project : found) {
    PathStatus status;
    if (Files().Status(project, &status) || !status.exists) {
      *problem = project + ": no such project file";
      return false;
    }
    if (seen.insert(FileIdentityOf(status)).second) projects->push_back(project);
  }
  return true;
}

std::vector<std::vector<FileIdentity>> ListProjects(const std::vector<std::string>& projects,
                                                    const PathResolver& resolver,
                                                    const EachListing& each) {
  std::vector<std::vector<FileIdentity>> identities(projects.size());
  AtOnce(projects.size(), std::max(1u, std::thread::hardware_concurrency()), [&](size_t i) {
    std::vector<ListedFile> listed;
    std::vector<PlannedFile> planned;
    std::string ignored;
    if (ListProjectFiles(projects[i], resolver, &listed, &ignored)) {
      for (ListedFile& file : listed) {
        PathStatus status;
        if (Files().Status(file.path, &status) || !status.exists || !status.is_regular) continue;
        std::string real;
        if (Files().RealPath(file.path, &real)) real.clear();
        planned.push_back({file.kind, std::move(file.path), std::move(real), FileIdentityOf(status),
                           status.size});
        identities[i].push_back(planned.back().identity);
      }
    }
    each(i, planned);
    return true;
  });
  return identities;
}

std::vector<std::vector<size_t>> GroupIntoUnits(
    const std::vector<std::vector<FileIdentity>>& listed) {
  UnionFind units(listed.size());
  std::map<Identity, size_t> first_lister;
  for (size_t i = 0; i < listed.size(); ++i) {
    for (const FileIdentity& identity : listed[i]) {
      auto [it, first] = first_lister.insert({identity, i});
      if (!first) units.Join(it->second, i);
    }
  }
  std::map<size_t, std::vector<size_t>> by_root;
  for (size_t i = 0; i < listed.size(); ++i) by_root[units.Root(i)].push_back(i);
  std::vector<std::vector<size_t>> result;
  for (auto& [root, members] : by_root) result.push_back(std::move(members));
  return result;
}

}  // namespace vireo

// A project file read once, by the one parser every step shares: the
// components it lists (each with its kind, its path as written and as
// resolved, and its line), and the grid libraries its reference lines name.
// Type detection, the batch's grouping, the converter, staging and recovery
// all read this value.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "host/path_resolver.h"

namespace vireo {

enum class ComponentKind {
  kForm,
  kUserControl,
  kUserDocument,
  kPropertyPage,
  kModule,
  kClass,
  kDesigner
};

struct ProjectComponent {
  ComponentKind kind = ComponentKind::kForm;
  std::string name;     // a module's or class's name ("" for the others)
  std::string written;  // the path as the line writes it
  std::string path;     // resolved against the project's folder
  int line = 0;

  // A form-like component: a text file with a binary side file.
  bool IsFormLike() const;
  // A module or class: converted by the code rules.
  bool IsCode() const { return kind == ComponentKind::kModule || kind == ComponentKind::kClass; }
  // The side file's extension: ".frx", ".ctx", ".dox" or ".pgx"; "" for
  // components that have none.
  std::string SideExtension() const;
};

struct Project {
  std::string path;
  std::string directory;  // up to and including the last separator
  std::vector<ProjectComponent> components;
  // The catalogue rows whose library a reference line names.
  std::set<int16_t> references;
  // Whether any line has the form Key=Value (a file with none is not a project).
  bool has_setting = false;

  std::vector<std::string> CodeFiles() const;
  std::vector<std::string> FormLikeFiles() const;
};

// False, with the reason naming the file, when the project file cannot be
// opened or read, or a line holds a NUL byte.
bool ReadProject(const std::string& path, const PathResolver& resolver, Project* project,
                 std::string* problem);

}  // namespace vireo

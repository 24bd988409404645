// The project file's files and its rewrite: the files a project lists (with
// the side files found beside its forms), rewriting its reference to the
// grid's control library, and the small text helpers the converters share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/project/file_work.h"
#include "engine/project/project.h"
#include "host/path_resolver.h"

namespace vireo {

// The extension of the binary side file of a form-like text file, from its
// own extension (".ctl", ".dob", ".pag"; else ".frx").
std::string SideExtensionForText(const std::string& text_path);
// The side file beside a form-like text file: its stem and `extension`,
// found ignoring case; "" when there is none.
std::string SideFileOf(const std::string& form_path, const std::string& extension);
// A path's file name without its last extension.
std::string FileStem(const std::string& path);
// A file a project lists, as a run resolves it, and what it is to the project.
struct ListedFile {
  enum class Kind { kProject, kForm, kSideFile, kCode };
  Kind kind;
  std::string path;
};

// Every file the project lists: the project file, its forms (each followed by
// its side file when there is one), modules and classes, in file order.
std::vector<ListedFile> ListProjectFiles(const Project& project);
// The same, reading the project file; false, with the reason, when it cannot be read.
bool ListProjectFiles(const std::string& project_file, const PathResolver& resolver,
                      std::vector<ListedFile>* files, std::string* problem);
// The same, the paths only.
bool ListedFiles(const std::string& project_file, const PathResolver& resolver,
                 std::vector<std::string>* files, std::string* problem);

// Converts the project file into a copy: the first reference to the source
// library becomes the target's and references to the target go. Without a
// reference to the source, every reference line stays.
int16_t RewriteProjectFile(FileWork& work, const Project& project, int16_t from_type,
                           int16_t to_type);

bool IsObjectLineFor(std::string_view line, int16_t position);
std::string ObjectLineFor(int16_t position);
// The path up to and including its last "\" or "/"; the path itself when it has none.
std::string ProjectDirectory(const std::string& path);
std::string Braced(const std::string& text);
// The offset after the last ":" of an "OleObjectBlob" property value; 0 when
// there is no ":". False when that text is not 1 to 8 hexadecimal digits
// with a value below 2^31.
bool FrxOffset(std::string_view text, int32_t* offset);

}  // namespace vireo

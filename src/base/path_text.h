// Paths between the program's byte strings and std::filesystem. The program
// holds paths as the platform's file system spells them in bytes (UTF-8 on
// Windows); std::filesystem::path built from a narrow string reads it in the
// ANSI code page on Windows, so every path crosses over through these two.
#pragma once

#include <filesystem>
#include <string>

namespace vireo {

std::filesystem::path NativePath(const std::string& path);
std::string PathText(const std::filesystem::path& path);

}  // namespace vireo

#include "host/posix/wine_registry.h"

#include <vector>

#include "base/file_io.h"
#include "base/text.h"
#include "base/file_system.h"
#include "host/posix/path_resolver_posix.h"

namespace vireo {
namespace {

constexpr char kClassesRoot[] = "software\\classes\\";

// The key named by a "[Software\\Classes\\...] 1700000000" line, with
// Wine's escapes undone; "" for any other line.
std::string KeyOfLine(const std::string& line) {
  if (line.empty() || line[0] != '[') return "";
  std::string key;
  for (size_t i = 1; i < line.size(); ++i) {
    if (line[i] == ']') return key;
    if (line[i] == '\\' && i + 1 < line.size()) ++i;  // "\\" is a separator, "\]" a bracket
    key += line[i];
  }
  return "";  // no closing bracket
}

}  // namespace

WineRegistry::WineRegistry(const std::string& prefix) {
  std::vector<std::string> names;
  if (Files().ListDirectory(prefix, &names)) return;
  for (const std::string& name : names) {
    if (EqualsNoCase(name, "system.reg") || EqualsNoCase(name, "user.reg")) {
      ++files_found_;
      ReadFile(prefix + "/" + name);
    }
  }
}

void WineRegistry::ReadFile(const std::string& path) {
  LineReader reader;
  if (reader.Open(path)) return;
  std::string line;
  while (reader.ReadLine(&line)) {
    std::string key = AsciiLowerCopy(KeyOfLine(line));
    if (key.rfind(kClassesRoot, 0) != 0) continue;
    key.erase(0, sizeof(kClassesRoot) - 1);
    // The key and every key above it up to the class root.
    for (size_t end = key.find('\\'); end != std::string::npos; end = key.find('\\', end + 1)) {
      class_keys_.insert(key.substr(0, end));
    }
    class_keys_.insert(key);
  }
}

bool WineRegistry::KeyExists(const std::string& subkey) const {
  std::string key = AsciiLowerCopy(subkey);
  return class_keys_.count(key) > 0 || class_keys_.count("wow6432node\\" + key) > 0;
}

std::string WineVbIniPath(const std::string& prefix) {
  std::string windows = FindIgnoringCase(prefix + "/drive_c/windows");
  return FindIgnoringCase(windows + "/VB.INI");
}

}  // namespace vireo

#include "cli/git_query.h"

namespace vireo {

std::vector<std::string> GitSettingsEnvironment(const std::string& nowhere) {
  return {"HOME=" + nowhere,
          "XDG_CONFIG_HOME=" + nowhere,
          "LC_ALL=C",
          "GIT_CONFIG_NOSYSTEM=1",
          std::string("GIT_CONFIG_GLOBAL=") + kNullFile,
          "GIT_ATTR_NOSYSTEM=1",
          "GIT_TERMINAL_PROMPT=0",
          "GIT_OPTIONAL_LOCKS=0",
          "GIT_PAGER=cat",
          "GIT_NO_REPLACE_OBJECTS=1",
          "GIT_LITERAL_PATHSPECS=1"};
}

std::vector<std::string> SafetyArguments(const std::string& filter_keys) {
  const std::string null_file = kNullFile;
  std::vector<std::string> settings{
      "core.fsmonitor=false",           "core.hooksPath=" + null_file,
      "core.untrackedCache=false",      "core.attributesFile=" + null_file,
      "core.excludesFile=" + null_file, "diff.external=",
      "protocol.allow=never",           "submodule.recurse=false"};
  std::set<std::string> drivers;
  for (size_t start = 0; start < filter_keys.size();) {
    size_t end = filter_keys.find('\n', start);
    std::string key = filter_keys.substr(start, end - start);
    start = end == std::string::npos ? filter_keys.size() : end + 1;
    size_t last = key.rfind('.');
    if (key.size() > 7 && last != std::string::npos && last > 7)
      drivers.insert(key.substr(7, last - 7));
  }
  for (const std::string& driver : drivers) {
    for (const char* command : {"clean", "smudge", "process"})
      settings.push_back("filter." + driver + "." + command + "=");
    settings.push_back("filter." + driver + ".required=false");
  }
  std::vector<std::string> arguments;
  for (const std::string& setting : settings) {
    arguments.push_back("-c");
    arguments.push_back(setting);
  }
  return arguments;
}

std::set<std::string> ListedPaths(const std::string& porcelain) {
  std::set<std::string> listed;
  for (size_t start = 0; start + 3 < porcelain.size();) {
    size_t end = porcelain.find('\0', start);
    if (end == std::string::npos) end = porcelain.size();
    listed.insert(porcelain.substr(start + 3, end - start - 3));
    start = end + 1;
  }
  return listed;
}

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line.empty() ? "git failed" : line;
}

}  // namespace vireo

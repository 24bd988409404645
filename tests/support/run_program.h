// Runs a program with arguments and captures its exit status and output.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vireo::testing {

struct ProgramRun {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out;
  std::string err;
};

// Standard input is /dev/null (not a terminal). `env` adds or replaces variables.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {});

}  // namespace vireo::testing

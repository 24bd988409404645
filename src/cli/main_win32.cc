// vireo-migrate.exe: the wide command line, in the ANSI code page the rest
// of the program works in.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/app.h"
#include "host/win32/windows_text.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(vireo::Narrow(std::wstring(argv[i])));
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return vireo::RunCommandLine(argc, pointers.data(), stdout, stderr);
}

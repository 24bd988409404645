// vireo-migrate.exe: the wide command line in UTF-8, the text the rest of
// the program works in; a console shows that text as UTF-8 for the run.
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/app.h"
#include "host/win32/windows_text.h"

namespace {

bool IsConsole(std::FILE* stream) {
  DWORD mode = 0;
  int fd = _fileno(stream);
  return fd >= 0 && _isatty(fd) &&
         ::GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &mode);
}

// The console's output code page is UTF-8 while this lives, then the one it
// was before.
class Utf8Console {
 public:
  Utf8Console() {
    if (!IsConsole(stdout) && !IsConsole(stderr)) return;
    previous_ = ::GetConsoleOutputCP();
    if (previous_ != CP_UTF8 && !::SetConsoleOutputCP(CP_UTF8)) previous_ = 0;
  }
  ~Utf8Console() {
    if (previous_ != 0 && previous_ != CP_UTF8) ::SetConsoleOutputCP(previous_);
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT previous_ = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(vireo::Narrow(std::wstring(argv[i])));
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  Utf8Console console;
  int status = vireo::RunCommandLine(argc, pointers.data(), stdout, stderr);
  std::fflush(stdout);
  std::fflush(stderr);
  return status;
}

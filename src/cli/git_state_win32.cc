// git on Windows: the git.exe on PATH, as Git for Windows puts it there, run
// with a command line quoted as the C runtime splits it again, an
// environment block of our own, and only its three standard handles
// inherited.
#include <algorithm>
#include <filesystem>
#include <thread>

#include "base/path_text.h"
#include "cli/git_query.h"
#include "host/win32/windows_text.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle)
      : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  HANDLE get() const { return handle_; }
  HANDLE* receive() { return &handle_; }
  void Close() {
    if (handle_) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

std::wstring Variable(const wchar_t* name) {
  DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  std::wstring value(size, L'\0');
  DWORD length = size ? ::GetEnvironmentVariableW(name, value.data(), size) : 0;
  value.resize(length < size ? length : 0);
  return value;
}

// PATH's folders: entries between semicolons, any of them quoted, whole or in pieces.
std::vector<std::wstring> PathFolders(const std::wstring& path) {
  std::vector<std::wstring> folders(1);
  bool quoted = false;
  for (wchar_t c : path) {
    if (c == L'"')
      quoted = !quoted;
    else if (c == L';' && !quoted)
      folders.emplace_back();
    else
      folders.back().push_back(c);
  }
  return folders;
}

// `argument` so that the C runtime's splitting of the command line gives it
// back: quoted when it holds blanks or is empty, its quotes escaped, and
// backslashes doubled where a quote follows them.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    quoted.push_back(c);
    backslashes = 0;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L'"';
}

std::wstring CommandLine(const std::string& git, const std::string& work_tree,
                         const std::vector<std::string>& arguments) {
  // The program's name is split by other rules: quoted whole, as a path holds no quote.
  std::wstring line = L"\"" + Wide(git) + L"\" -C " + Quoted(Wide(work_tree));
  for (const std::string& argument : arguments) line += L" " + Quoted(Wide(argument));
  return line;
}

std::wstring Name(const std::wstring& entry) { return entry.substr(0, entry.find(L'=')); }

// The variables Windows programs need, then GitSettingsEnvironment's; sorted
// by name without regard to case, as Windows keeps an environment block.
std::wstring EnvironmentBlock() {
  std::vector<std::wstring> entries;
  for (const wchar_t* name : {L"PATH", L"SystemRoot", L"SystemDrive"}) {
    std::wstring value = Variable(name);
    if (!value.empty()) entries.push_back(name + (L"=" + value));
  }
  std::wstring drive = Variable(L"SystemDrive");
  for (const std::string& entry :
       GitSettingsEnvironment((drive.empty() ? "C:" : Narrow(drive)) + "\\nonexistent"))
    entries.push_back(Wide(entry));
  std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(Name(a).c_str(), -1, Name(b).c_str(), -1, TRUE) == CSTR_LESS_THAN;
  });
  std::wstring block;
  for (const std::wstring& entry : entries) block += entry + L'\0';
  return block + L'\0';
}

// A pipe whose writing end the child inherits.
struct ChildPipe {
  OwnedHandle ours, theirs;
  bool Open() {
    return ::CreatePipe(ours.receive(), theirs.receive(), nullptr, 0) &&
           ::SetHandleInformation(theirs.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
};

// Starts the program with `handles` as its standard input, output and error,
// and no other handle of ours.
bool Start(const std::string& git, std::wstring command_line, std::wstring environment,
           HANDLE (&handles)[3], PROCESS_INFORMATION* process) {
  SIZE_T size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return false;
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = handles[0];
  startup.StartupInfo.hStdOutput = handles[1];
  startup.StartupInfo.hStdError = handles[2];
  startup.lpAttributeList = attributes;
  bool started =
      ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                  sizeof handles, nullptr, nullptr) &&
      ::CreateProcessW(Wide(git).c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
                       environment.data(), nullptr, &startup.StartupInfo, process);
  ::DeleteProcThreadAttributeList(attributes);
  return started;
}

std::string ReadAll(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  for (DWORD got = 0; ::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr);)
    text.append(buffer, got);
  return text;
}

GitRun NotStarted() {
  GitRun run;
  run.err = "git could not be started: " + LastWindowsError().message();
  return run;
}

}  // namespace

const char kNullFile[] = "NUL";

fs::path NameOnDisk(const fs::path& path) {
  // A wildcard would find another file's name.
  if (path.filename().native().find_first_of(L"*?") != std::wstring::npos) return path.filename();
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return path.filename();
  ::FindClose(search);
  return found.cFileName;
}

std::string FindGit() {
  for (const std::wstring& folder : PathFolders(Variable(L"PATH"))) {
    // A relative entry is read in whatever folder we run in, a project's maybe.
    if (!fs::path(folder).is_absolute()) continue;
    fs::path candidate = fs::path(folder) / L"git.exe";
    DWORD attributes = ::GetFileAttributesW(candidate.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return PathText(candidate);
  }
  return "";
}

GitRun RunGit(const std::string& git, const std::string& work_tree,
              const std::vector<std::string>& arguments) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  OwnedHandle null(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherited, OPEN_EXISTING, 0, nullptr));
  ChildPipe out, err;
  if (!null.get() || !out.Open() || !err.Open()) return NotStarted();
  HANDLE handles[3] = {null.get(), out.theirs.get(), err.theirs.get()};
  PROCESS_INFORMATION process{};
  if (!Start(git, CommandLine(git, work_tree, arguments), EnvironmentBlock(), handles, &process))
    return NotStarted();
  OwnedHandle child(process.hProcess), child_thread(process.hThread);
  null.Close();
  out.theirs.Close();
  err.theirs.Close();
  // Either pipe may fill while the other is read.
  GitRun run;
  std::thread errors([&] { run.err = ReadAll(err.ours.get()); });
  run.out = ReadAll(out.ours.get());
  errors.join();
  ::WaitForSingleObject(child.get(), INFINITE);
  DWORD code = 0;
  if (::GetExitCodeProcess(child.get(), &code)) run.status = static_cast<int>(code);
  return run;
}

}  // namespace vireo

// A stand-in git.exe for git_state_win32_test.cc. Each run notes, beside the
// program, in call<N>.args, call<N>.env and call<N>.in (N = 1, 2, ...): its
// arguments as the C runtime split them and its environment, in UTF-8, each
// ended by a NUL, and what its standard input held. It answers from files
// beside it named after its command (the first argument past -C and -c and
// their values): <command>.out to standard output and <command>.err to
// standard error, written by turns so that either pipe fills while the other
// is still being written, and exits with the number in <command>.exit.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string text(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
  return text;
}

std::string ReadAll(HANDLE file) {
  std::string bytes;
  char buffer[4096];
  for (DWORD got = 0; ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0;)
    bytes.append(buffer, got);
  return bytes;
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  std::string bytes = ReadAll(file);
  ::CloseHandle(file);
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH];
  std::wstring own(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
  return own.substr(0, own.find_last_of(L'\\') + 1);
}

std::wstring Command(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    std::wstring word = argv[i];
    if (word != L"-C" && word != L"-c") return word;
    ++i;
  }
  return L"";
}

void Note(const std::wstring& folder, int argc, wchar_t** argv) {
  std::wstring call = folder + L"call1";
  for (int n = 2; ::GetFileAttributesW((call + L".args").c_str()) != INVALID_FILE_ATTRIBUTES; ++n)
    call = folder + L"call" + std::to_wstring(n);
  std::string arguments, environment;
  for (int i = 1; i < argc; ++i) arguments += Utf8(argv[i]) + '\0';
  wchar_t* block = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1)
    environment += Utf8(entry) + '\0';
  ::FreeEnvironmentStringsW(block);
  WriteFileBytes(call + L".args", arguments);
  WriteFileBytes(call + L".env", environment);
  WriteFileBytes(call + L".in", ReadAll(::GetStdHandle(STD_INPUT_HANDLE)));
}

void Write(HANDLE to, const std::string& bytes, size_t* done) {
  size_t size = std::min<size_t>(4096, bytes.size() - *done);
  DWORD written = 0;
  if (size && ::WriteFile(to, bytes.data() + *done, static_cast<DWORD>(size), &written, nullptr))
    *done += written;
  else
    *done = bytes.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring folder = OwnFolder();
  Note(folder, argc, argv);
  std::wstring answer = folder + Command(argc, argv);
  std::string out = ReadFileBytes(answer + L".out"), err = ReadFileBytes(answer + L".err");
  for (size_t out_done = 0, err_done = 0; out_done < out.size() || err_done < err.size();) {
    if (out_done < out.size()) Write(::GetStdHandle(STD_OUTPUT_HANDLE), out, &out_done);
    if (err_done < err.size()) Write(::GetStdHandle(STD_ERROR_HANDLE), err, &err_done);
  }
  return std::atoi(ReadFileBytes(answer + L".exit").c_str());
}

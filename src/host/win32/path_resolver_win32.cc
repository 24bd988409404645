#include "host/win32/path_resolver_win32.h"

#include <cstdio>

#include "host/win32/windows_text.h"

namespace vireo {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// How many bytes from `at` make one character in `code_page`; 0 when the
// byte there begins none.
size_t CharacterLength(const std::string& bytes, size_t at, UINT code_page) {
  std::wstring ignored;
  for (size_t length = 1; length <= 4 && at + length <= bytes.size(); ++length) {
    if (DecodeCodePage(bytes.substr(at, length), code_page, &ignored)) return length;
  }
  return 0;
}

std::string NotInCodePage(const std::string& bytes, UINT code_page) {
  std::string said = bytes.size() == 1 ? "<byte" : "<bytes";
  for (unsigned char byte : bytes) {
    char digits[4];
    std::snprintf(digits, sizeof digits, " %02X", byte);
    said += digits;
  }
  said += " not in code page ";
  said += std::to_string(code_page == CP_ACP ? ::GetACP() : code_page);
  said += '>';
  return said;
}

// The name read character by character: bytes that are none in the code
// page are spelt out where they stand, in '<' and '>', which no file name
// can hold, so the file is missing and the message says why.
std::string SpeltWithFaults(const std::string& listed, UINT code_page) {
  std::string spelt, faults;
  std::wstring wide;
  for (size_t at = 0; at < listed.size();) {
    size_t length = CharacterLength(listed, at, code_page);
    if (length == 0) {
      faults += listed[at++];
      continue;
    }
    if (!faults.empty()) spelt += NotInCodePage(faults, code_page);
    faults.clear();
    DecodeCodePage(listed.substr(at, length), code_page, &wide);
    spelt += Narrow(wide);
    at += length;
  }
  return faults.empty() ? spelt : spelt + NotInCodePage(faults, code_page);
}

std::string InUtf8(const std::string& listed, UINT code_page) {
  std::wstring wide;
  return DecodeCodePage(listed, code_page, &wide) ? Narrow(wide)
                                                  : SpeltWithFaults(listed, code_page);
}

}  // namespace

bool IsRootedWindowsPath(const std::string& path) {
  if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') return true;
  return !path.empty() && IsSeparator(path[0]);
}

std::string WindowsPathResolver::Resolve(const std::string& directory,
                                         const std::string& listed) const {
  std::string path = InUtf8(listed, code_page_);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (IsRootedWindowsPath(path) || directory.empty()) return path;
  std::string base = directory;
  if (!IsSeparator(base.back())) base += '\\';
  return base + path;
}

}  // namespace vireo

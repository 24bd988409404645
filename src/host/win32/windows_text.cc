#include "host/win32/windows_text.h"

namespace vireo {

std::wstring Wide(const std::string& text, UINT code_page) {
  if (text.empty()) return {};
  int length =
      ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  return wide;
}

std::wstring Wide(const std::string& ansi) { return Wide(ansi, CP_ACP); }

std::string Narrow(const wchar_t* wide, size_t length) {
  if (length == 0) return {};
  int size = ::WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), nullptr, 0, nullptr,
                                   nullptr);
  std::string ansi(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), ansi.data(), size, nullptr,
                        nullptr);
  return ansi;
}

std::string Narrow(const std::wstring& wide) { return Narrow(wide.data(), wide.size()); }

std::error_code WindowsError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return std::make_error_code(std::errc::device_or_resource_busy);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return std::make_error_code(std::errc::file_exists);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_DIRECTORY:
      return std::make_error_code(std::errc::not_a_directory);
    case ERROR_INVALID_HANDLE:
      return std::make_error_code(std::errc::bad_file_descriptor);
    case ERROR_FILENAME_EXCED_RANGE:
      return std::make_error_code(std::errc::filename_too_long);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return std::make_error_code(std::errc::not_enough_memory);
    default:
      return std::error_code(static_cast<int>(code), std::system_category());
  }
}

}  // namespace vireo

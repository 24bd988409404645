#include "host/win32/windows_text.h"

namespace vireo {

bool DecodeCodePage(const std::string& bytes, UINT code_page, std::wstring* wide) {
  wide->clear();
  if (bytes.empty()) return true;
  auto decode = [&](DWORD flags, wchar_t* out, int room) {
    return ::MultiByteToWideChar(code_page, flags, bytes.data(), static_cast<int>(bytes.size()),
                                 out, room);
  };
  DWORD flags = MB_ERR_INVALID_CHARS;
  int length = decode(flags, nullptr, 0);
  bool whole = length > 0;
  if (!whole) {
    // Some code pages (ISO-2022 and others) check no bytes and refuse the flag.
    whole = ::GetLastError() == ERROR_INVALID_FLAGS;
    flags = 0;
    length = decode(flags, nullptr, 0);
  }
  wide->resize(static_cast<size_t>(length));
  decode(flags, wide->data(), length);
  return whole;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  if (!DecodeCodePage(text, CP_UTF8, &wide)) DecodeCodePage(text, CP_ACP, &wide);
  return wide;
}

std::string Narrow(const wchar_t* wide, size_t length) {
  if (length == 0) return {};
  int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr,
                                   nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), utf8.data(), size, nullptr,
                        nullptr);
  return utf8;
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

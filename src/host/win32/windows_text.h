// Text between the program's byte strings and Windows: every path and text
// the program holds is in the machine's ANSI code page, as the IDE and its
// project files have them; the wide Windows functions get them converted.
#pragma once

#include <string>
#include <system_error>

#include "host/win32/windows_headers.h"

namespace vireo {

std::wstring Wide(const std::string& ansi);
// `text` read in `code_page` (CP_ACP being the ANSI code page).
std::wstring Wide(const std::string& text, UINT code_page);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide, size_t length);

// A Windows error code as an error code the engine understands: the common
// ones map to their std::errc condition, the rest keep their Windows number.
std::error_code WindowsError(DWORD code);
inline std::error_code LastWindowsError() { return WindowsError(::GetLastError()); }

}  // namespace vireo

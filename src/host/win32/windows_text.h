// Text between the program's byte strings and Windows: the program holds
// paths and messages in UTF-8, as the Linux build does, and the wide Windows
// functions get them in UTF-16. Names in a project file are bytes in the
// project's code page; they are decoded once, where they are resolved.
#pragma once

#include <string>
#include <system_error>

#include "host/win32/windows_headers.h"

namespace vireo {

// `text` in UTF-16. Bytes that are not UTF-8 (a name some ANSI function
// gave) are read in the ANSI code page instead.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide, size_t length);

// `bytes` read in `code_page` (CP_ACP being the ANSI code page); false when
// they are no text there (a byte the code page leaves undefined, a pair cut
// short), and then `*wide` is what could be read.
bool DecodeCodePage(const std::string& bytes, UINT code_page, std::wstring* wide);

// A Windows error code as an error code the engine understands: the common
// ones map to their std::errc condition, the rest keep their Windows number.
std::error_code WindowsError(DWORD code);
inline std::error_code LastWindowsError() { return WindowsError(::GetLastError()); }

}  // namespace vireo

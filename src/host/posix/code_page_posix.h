// Names as VB wrote them into project files, in a Windows code page, spelt
// in UTF-8 as a POSIX file system (and Wine, and git) has them. iconv does
// the decoding.
#pragma once

#include <string>
#include <string_view>

namespace vireo {

inline constexpr int kWesternCodePage = 1252;

// Whether iconv can decode Windows code page `code_page` ("CP1251" and so on).
bool KnownCodePage(int code_page);

// `bytes` decoded from `code_page` into UTF-8. A byte the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90 and 0x9D in Windows-1252) stands for the
// code point of the same value, as Windows itself decodes them; an unknown
// code page leaves the bytes as they are.
std::string CodePageToUtf8(std::string_view bytes, int code_page);

}  // namespace vireo

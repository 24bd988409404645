#include "host/posix/code_page_posix.h"

#include <iconv.h>

#include <cerrno>

namespace vireo {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

std::string IconvName(int code_page) { return "CP" + std::to_string(code_page); }

void AppendUtf8(std::string& out, unsigned char code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

}  // namespace

bool KnownCodePage(int code_page) {
  if (code_page <= 0) return false;
  iconv_t converter = ::iconv_open("UTF-8", IconvName(code_page).c_str());
  if (converter == kNoConverter) return false;
  ::iconv_close(converter);
  return true;
}

std::string CodePageToUtf8(std::string_view bytes, int code_page) {
  iconv_t converter =
      code_page > 0 ? ::iconv_open("UTF-8", IconvName(code_page).c_str()) : kNoConverter;
  if (converter == kNoConverter) return std::string(bytes);
  std::string out;
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  while (in_left > 0) {
    char buffer[256];
    char* written = buffer;
    size_t room = sizeof buffer;
    size_t result = ::iconv(converter, &in, &in_left, &written, &room);
    out.append(buffer, static_cast<size_t>(written - buffer));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      // Undefined here, or the first half of a pair cut short.
      AppendUtf8(out, static_cast<unsigned char>(*in));
      ++in;
      --in_left;
      ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
  }
  ::iconv_close(converter);
  return out;
}

}  // namespace vireo

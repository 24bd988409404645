#include "engine/catalogue/guid.h"

namespace vireo {
namespace {

std::string Hex(uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return digits;
}

}  // namespace

void GUID::ToBytes(std::array<uint8_t, 16>& bytes) const {
  uint32_t d1 = static_cast<uint32_t>(Data1);
  uint16_t d2 = static_cast<uint16_t>(Data2);
  uint16_t d3 = static_cast<uint16_t>(Data3);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(d1 >> (8 * i));
  bytes[4] = static_cast<uint8_t>(d2);
  bytes[5] = static_cast<uint8_t>(d2 >> 8);
  bytes[6] = static_cast<uint8_t>(d3);
  bytes[7] = static_cast<uint8_t>(d3 >> 8);
  const uint8_t tail[8] = {Byte1, Byte2, Byte3, Byte4, Byte5, Byte6, Byte7, Byte8};
  for (int i = 0; i < 8; ++i) bytes[8 + i] = tail[i];
}

std::string GUID::ToString() const {
  std::string text = ZeroPad(Hex(static_cast<uint32_t>(Data1)), 8) + "-" +
                     ZeroPad(Hex(static_cast<uint16_t>(Data2)), 4) + "-" +
                     ZeroPad(Hex(static_cast<uint16_t>(Data3)), 4) + "-" + ZeroPad(Hex(Byte1), 2) +
                     ZeroPad(Hex(Byte2), 2) + "-";
  for (uint8_t b : {Byte3, Byte4, Byte5, Byte6, Byte7, Byte8}) text += ZeroPad(Hex(b), 2);
  return text;
}

std::string GUID::ZeroPad(const std::string& text, size_t width) {
  if (text.size() >= width) return text;
  return std::string(width - text.size(), '0') + text;
}

}  // namespace vireo

// One named GUID split into its groups, with its 36-character text form and
// its 16-byte in-memory form (the form found inside a grid's binary record).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vireo {

class GUID {
 public:
  std::string Name;
  int32_t Data1 = 0;
  int16_t Data2 = 0;
  int16_t Data3 = 0;
  uint8_t Byte1 = 0, Byte2 = 0, Byte3 = 0, Byte4 = 0, Byte5 = 0, Byte6 = 0, Byte7 = 0, Byte8 = 0;

  // Data1, Data2 and Data3 least significant byte first, then Byte1 to Byte8.
  void ToBytes(std::array<uint8_t, 16>& bytes) const;
  // "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper case, no braces.
  std::string ToString() const;

 private:
  static std::string ZeroPad(const std::string& text, size_t width);
};

}  // namespace vireo

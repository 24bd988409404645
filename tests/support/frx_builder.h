// Builds binary property files with grid records for tests.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/catalogue/grid_catalogue.h"

namespace vireo::testing {

inline std::string GuidBytes(int position, const std::string& name) {
  std::array<uint8_t, 16> bytes{};
  GridCatalogue().Item(position).Item(name).ToBytes(bytes);
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A record: H (16-bit), N (32-bit), header padding up to H, then the payload.
inline std::string Record(const std::string& payload, int16_t header_length = 12,
                          std::optional<int32_t> stated_length = std::nullopt) {
  int32_t payload_length = stated_length.value_or(static_cast<int32_t>(payload.size()));
  std::string record;
  for (int i = 0; i < 2; ++i) record += static_cast<char>((header_length >> (8 * i)) & 0xFF);
  for (int i = 0; i < 4; ++i) record += static_cast<char>((payload_length >> (8 * i)) & 0xFF);
  if (header_length > 6) record += std::string(static_cast<size_t>(header_length - 6), '\x7E');
  return record + payload;
}

inline void AppendLittleEndian(std::string& bytes, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// An "LB" record, as VB5 and VB6 save an ActiveX control: "LB", a 16-bit kind
// (13 for grids), N (32-bit), four 32-bit extents, then the payload at 24.
inline std::string LbRecord(const std::string& payload,
                            std::optional<uint32_t> stated_length = std::nullopt,
                            uint16_t kind = 13,
                            std::array<int32_t, 4> extents = {0, 0, 4815, 2295}) {
  std::string record = "LB";
  AppendLittleEndian(record, kind, 2);
  AppendLittleEndian(record, stated_length.value_or(static_cast<uint32_t>(payload.size())), 4);
  for (int32_t extent : extents) AppendLittleEndian(record, static_cast<uint32_t>(extent), 4);
  return record + payload;
}

}  // namespace vireo::testing

// Replacing 16-byte GUIDs inside a record's payload, one GUID after another,
// each in what the ones before it left: the rule a grid's record is converted
// by. The payload is searched once, however many GUIDs there are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vireo {

using GuidPattern = std::array<uint8_t, 16>;

struct GuidToReplace {
  GuidPattern from;
  std::optional<GuidPattern> to;  // none: the GUID may not appear
};

struct GuidReplaced {
  size_t guid = 0;  // index into the GUIDs to replace
  size_t at = 0;    // where in the payload
};

// Replaces every place of guids[0].from in `payload` by guids[0].to, left to
// right, never overlapping a place it replaced; then guids[1] in the result,
// and so on. Returns the replacements in the order made. When a GUID without
// a `to` is met, stops there with `*missing` set to its index; `payload` may
// then hold some replacements, which the caller discards.
std::vector<GuidReplaced> ReplaceEachInTurn(std::string& payload,
                                            const std::vector<GuidToReplace>& guids,
                                            std::optional<size_t>* missing);

}  // namespace vireo

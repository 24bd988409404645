// Whether a file already uses the target grid type: the sign that another
// project sharing the file was converted first, so that this project's own
// reference must still move even though none of its files needs a change.
#pragma once

#include <cstdint>
#include <string>

namespace vireo {

// A form's Object= line or grid Begin line naming the target, or, in any
// code, a declaration of a target library type ("As VireoCore45.StyleDisp")
// where the target's library name differs from the source's. False when the
// file cannot be read.
bool UsesTargetType(const std::string& path, int16_t from_type, int16_t to_type);

}  // namespace vireo

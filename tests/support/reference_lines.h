// The project-file reference lines of the two grid types most tests use.
#pragma once

namespace vireo::testing {

inline constexpr char kVireo40Line[] =
    "Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; VIRA32.OCX";
inline constexpr char kProLine[] =
    "Object={7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.5#0; VIRA5_32.OCX";

}  // namespace vireo::testing

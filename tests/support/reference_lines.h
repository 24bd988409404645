// The project-file reference lines of the two grid types most tests use,
// and a module they convert.
#pragma once

namespace vireo::testing {

inline constexpr char kVireo40Line[] =
    "Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; VIRA32.OCX";
inline constexpr char kProLine[] =
    "Object={7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.5#0; VIRA5_32.OCX";

// A module of one grid declaration, and what converting it from Vireo 4.0
// to Vireo Pro 5.0 for VB4 gives.
inline constexpr char kDeclarationModule[] = "Dim S As VireoCore.StyleDisp\r\n";
inline constexpr char kDeclarationConverted[] =
    "'*** ORYX Migration Utility Code Change ***\r\n'Dim S As VireoCore.StyleDisp\r\n"
    "Dim S As VireoCore45.StyleDisp\r\n";

}  // namespace vireo::testing

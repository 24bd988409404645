// Converting one form: its text file (control blocks in the description
// region, event procedures and declarations in the code region) and, through
// the grids' OleObjectBlob lines, the records of its binary property file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/project/file_work.h"

namespace vireo {

// A line above a form's first Begin line that names the control library of a
// catalogue row, as VB5 and VB6 write one: Object = "{LIBID}#4.0#0"; "VIRA32.OCX".
bool IsFormObjectLineFor(std::string_view line, int16_t position);
// A line that begins a control block (leading spaces aside).
bool IsBeginLine(std::string_view line);

// A "Begin" line of a grid or drop-down of the source type; records its name.
bool IsGridBeginLine(FileWork& run, std::string_view line, int16_t from_type);
void RecordControlName(FileWork& run, std::string_view line, int16_t from_type);
void RenameBeginLine(std::string& line, int16_t from_type, int16_t to_type);

// Converts the form into two temporary copies, recorded text first, then binary.
int16_t ConvertFormFile(FileWork& run, const std::string& form_path, const std::string& binary_path,
                        int16_t from_type, int16_t to_type);

}  // namespace vireo

// Reading logical source lines (continuations joined) and converting a code
// module or class file into its temporary copy.
#pragma once

#include <cstdint>
#include <string>

#include "base/file_io.h"
#include "engine/project/file_work.h"

namespace vireo {

inline constexpr char kChangeMarker[] = "'*** ORYX Migration Utility Code Change ***";

// Reads one logical line: a physical line, joined with the following ones
// while it ends in "_" (comment lines never join). Its physical lines go to
// run.RawLines. False when the file ends inside a continued line or cannot be
// read; `problem` then says which.
bool ReadLogicalLine(LineReader& in, FileWork& run, std::string* line, std::string* problem);

// Writes the marker, each physical line of run.RawLines as a comment, and
// arranges for the rewritten line to follow.
void MarkChange(FileWork& run, LineWriter& out, const std::string& original);

// Writes the current logical line: rewritten as one line, or its physical lines unchanged.
void WriteCurrentLine(FileWork& run, LineWriter& out, const std::string& line);

int16_t ConvertCodeFile(FileWork& run, const std::string& path, int16_t from_type, int16_t to_type);

}  // namespace vireo

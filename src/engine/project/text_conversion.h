// The one way a text file of the project is converted: a new temporary copy
// recorded against the original, the original read and the copy written
// line by line (CR LF, with the original's byte order mark), both closed,
// and every failure worded the same way, naming the original.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/file_io.h"
#include "engine/project/file_work.h"

namespace vireo {

// A converter's rules: read `in` to its end, write `out`, and return
// kChanged or kUnchanged, or kFailed after recording the reason in the run.
using LineRules = std::function<int16_t(LineReader& in, LineWriter& out)>;

int16_t ConvertTextFile(FileWork& run, const std::string& original, const LineRules& rules);

}  // namespace vireo

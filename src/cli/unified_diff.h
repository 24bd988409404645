// Line differences between two versions of a text file, found with Myers'
// O(ND) algorithm in linear space, and their rendering as a unified diff.
// Lines are split on CR LF, CR or LF and compared as bytes without their
// terminators, so a file whose only change is its line ends has no difference.
//
// Why not Debian's libdtl-dev (dtl 1.20): its O(NP) search picks other
// blocks among equally short scripts (on 2,000 random small inputs a third
// of the results differed from these), its hunks always show counts and
// put empty ranges elsewhere than GNU diff, and it keeps copies of both
// sequences, an edit entry per line and up to two million path points: on
// a 400,000-line file with a third of its lines changed it took 186 MB
// where this takes 73 MB (most of it the lines themselves).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// The physical lines of `content`, without terminators. A last line without a
// terminator is still a line; a final terminator does not start another one.
std::vector<std::string_view> SplitLines(std::string_view content);

// One run of changed lines: `old_count` lines removed at `old_start` of the old
// version, `new_count` lines put in their place at `new_start` of the new one
// (0-based). Either count may be zero, never both.
struct DiffBlock {
  size_t old_start = 0;
  size_t old_count = 0;
  size_t new_start = 0;
  size_t new_count = 0;
};

// A shortest edit script from `old_lines` to `new_lines`, as blocks in order.
// Pathological inputs (tens of thousands of scattered edits) fall back to a
// quicker, possibly longer script, as GNU diff does.
std::vector<DiffBlock> DiffLines(const std::vector<std::string_view>& old_lines,
                                 const std::vector<std::string_view>& new_lines);

// A unified diff of two versions of `path`: "--- a/<path>", "+++ b/<path>",
// then "@@ -l,n +l,n @@" hunks with `context` lines around each change, every
// output line ending in LF. A range of one line shows no count, and an empty
// range shows the line before it, as GNU diff writes them. Empty when the
// lines are equal.
std::string UnifiedDiff(std::string_view path, std::string_view old_content,
                        std::string_view new_content, int context = 3);

}  // namespace vireo

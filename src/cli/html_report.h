// The review page of a run or a scan: one self-contained HTML5 file (inline
// CSS and SVG, no script, nothing fetched) that a reviewer opens from a
// share or prints. A summary of the projects by outcome and by source type,
// then a section per project with each changed file's diff and each binary
// file's GUID records. Every name and line from a project is escaped.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/preview.h"

namespace vireo {

struct ReviewProject {
  std::string path;         // as the table shows it
  std::string outcome;      // as the table says it ("converted", "failed", ...)
  std::string outcome_key;  // the report's word for it ("converted", "nothing-to-convert", ...)
  std::string source;       // the source type's name; "" when none
  std::string reason;       // why it failed, was skipped or is blocked
  std::string command;      // what would convert it, or fix what stops it
  std::vector<std::pair<std::string, std::string>> facts;  // (label, value), such as counts
  std::vector<std::string> notes;                          // further lines to show
  Preview preview;                                         // its files; diffs when they were made
};

struct ReviewPage {
  std::string title;     // "vireo-migrate scan", ...
  std::string subtitle;  // what the run did, in a line
  std::vector<ReviewProject> projects;
  // Diff lines shown per file, and over the whole page; beyond them, lines
  // are left out and counted.
  size_t file_diff_lines = 400;
  size_t page_diff_lines = 100000;
};

// `text` as HTML text and attribute content: the markup characters as
// entities; UTF-8 as it is; any other byte from 0x80 up read as Latin-1;
// control characters other than tab as U+FFFD.
std::string HtmlEscaped(std::string_view text);

// A code line with VB keywords, strings and comments marked, escaped.
std::string HighlightedVb(std::string_view line);

std::string ReviewHtml(const ReviewPage& page);

// Writes the page to `path` ("-": standard output).
std::error_code WriteReviewHtml(const std::string& path, const ReviewPage& page,
                                std::FILE* standard_output);

}  // namespace vireo

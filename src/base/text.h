// Byte-string helpers shared by the rewriting rules. Case-insensitive means
// ASCII letters only; every other byte compares exactly. "Spaces" are the
// character 32 only, as the old code's trimming functions had it.
#pragma once

#include <string>
#include <string_view>

namespace vireo {

inline constexpr size_t kNotFound = std::string_view::npos;

char AsciiLower(char c);
std::string AsciiLowerCopy(std::string_view text);

// First position at or after `from` where `needle` occurs, ignoring case.
size_t FindNoCase(std::string_view haystack, std::string_view needle, size_t from = 0);
bool ContainsNoCase(std::string_view haystack, std::string_view needle);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

std::string_view TrimLeadingSpaces(std::string_view text);
std::string_view TrimTrailingSpaces(std::string_view text);
std::string_view TrimSpaces(std::string_view text);

// Replaces the first occurrence of `old_text` (ignoring case) by `new_text`.
// Returns false, leaving `line` alone, when there is none.
bool ReplaceFirstNoCase(std::string& line, std::string_view old_text, std::string_view new_text);

}  // namespace vireo

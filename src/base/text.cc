#include "base/text.h"

#include <algorithm>

namespace vireo {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLowerCopy(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

size_t FindNoCase(std::string_view haystack, std::string_view needle, size_t from) {
  if (from > haystack.size()) return kNotFound;
  if (needle.empty()) return from;
  auto same = [](char a, char b) { return AsciiLower(a) == AsciiLower(b); };
  auto it = std::search(haystack.begin() + static_cast<std::ptrdiff_t>(from), haystack.end(),
                        needle.begin(), needle.end(), same);
  return it == haystack.end() ? kNotFound : static_cast<size_t>(it - haystack.begin());
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  return FindNoCase(haystack, needle) != kNotFound;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view TrimLeadingSpaces(std::string_view text) {
  size_t start = text.find_first_not_of(' ');
  return start == kNotFound ? std::string_view() : text.substr(start);
}

std::string_view TrimTrailingSpaces(std::string_view text) {
  size_t last = text.find_last_not_of(' ');
  return last == kNotFound ? std::string_view() : text.substr(0, last + 1);
}

std::string_view TrimSpaces(std::string_view text) {
  return TrimTrailingSpaces(TrimLeadingSpaces(text));
}

bool ReplaceFirstNoCase(std::string& line, std::string_view old_text, std::string_view new_text) {
  size_t at = FindNoCase(line, old_text);
  if (at == kNotFound) return false;
  line.replace(at, old_text.size(), new_text);
  return true;
}

}  // namespace vireo

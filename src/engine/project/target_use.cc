#include "engine/project/target_use.h"

#include <cctype>
#include <string_view>

#include "base/file_io.h"
#include "base/text.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/project_file.h"

namespace vireo {
namespace {

bool IsWordCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// "As <library>." or "New <library>.", the library name as a whole word.
bool DeclaresTypeOf(std::string_view line, const std::string& library) {
  std::string qualified = library + ".";
  for (size_t at = FindNoCase(line, qualified); at != std::string_view::npos;
       at = FindNoCase(line, qualified, at + 1)) {
    if (at == 0 || IsWordCharacter(line[at - 1])) continue;
    std::string_view before = TrimTrailingSpaces(line.substr(0, at));
    if (before.size() == at) continue;  // no space between the keyword and the name
    size_t start = before.size();
    while (start > 0 && IsWordCharacter(before[start - 1])) --start;
    std::string_view keyword = before.substr(start);
    if (EqualsNoCase(keyword, "As") || EqualsNoCase(keyword, "New")) return true;
  }
  return false;
}

}  // namespace

bool UsesTargetType(const std::string& path, int16_t from_type, int16_t to_type) {
  const GridVersion& source = GridCatalogue().Item(from_type);
  const GridVersion& target = GridCatalogue().Item(to_type);
  bool library_tells = !EqualsNoCase(source.GridLibName(), target.GridLibName());
  bool begin_tells = !EqualsNoCase(source.FullName, target.FullName);
  std::string begin = "Begin " + target.FullName + " ";
  LineReader in;
  in.ReadThroughInterrupts();
  if (in.Open(path)) return false;
  std::string line;
  while (in.ReadLine(&line)) {
    std::string_view text = TrimLeadingSpaces(line);
    if (text.empty() || text[0] == '\'') continue;
    if (IsObjectLineFor(text, to_type)) return true;
    if (begin_tells && StartsWithNoCase(text, begin)) return true;
    if (library_tells && DeclaresTypeOf(text, target.GridLibName())) return true;
  }
  return false;
}

}  // namespace vireo

#include "engine/project/target_use.h"

#include <string_view>

#include "base/file_io.h"
#include "base/text.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/grid_usage.h"
#include "engine/project/project_file.h"

namespace vireo {

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

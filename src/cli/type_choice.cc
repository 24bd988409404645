#include "cli/type_choice.h"

#include <set>

#include "dialogs/convert_form.h"
#include "engine/catalogue/grid_catalogue.h"
#include "base/file_io.h"
#include "engine/project/project_file.h"
#include "base/text.h"

namespace vireo {

int16_t ParseGridType(const std::string& text) {
  std::string_view wanted = TrimSpaces(text);
  const GridVersions& catalogue = GridCatalogue();
  for (int16_t position = 1; position <= catalogue.Count(); ++position) {
    auto display = GridDisplayName(position);
    if (wanted == std::to_string(position) || (display && EqualsNoCase(wanted, *display)) ||
        EqualsNoCase(wanted, catalogue.Item(position).OCXFileName()))
      return position;
  }
  return 0;
}

std::string DescribeGridTypes(const ControlRegistry& registry) {
  std::string text;
  const GridVersions& catalogue = GridCatalogue();
  for (int position = 1; position <= catalogue.Count(); ++position) {
    const GridVersion& row = catalogue.Item(position);
    std::string name = GridDisplayName(position).value_or("(not offered)");
    name.resize(std::max<size_t>(name.size(), 30), ' ');
    std::string file = row.OCXFileName();
    file.resize(std::max<size_t>(file.size(), 14), ' ');
    text += "  " + std::to_string(position) + "  " + name + file + row.LIBID + "  " +
            (row.Registered(registry) ? "registered" : "not registered") + "\n";
  }
  return text;
}

ReferencedTypes FindReferencedTypes(const std::string& project_path, int16_t target) {
  ReferencedTypes found;
  std::set<int16_t> sources;
  LineReader reader;
  if (reader.Open(project_path)) return found;
  std::string line;
  while (reader.ReadLine(&line)) {
    for (int16_t position = 1; position <= GridCatalogue().Count(); ++position) {
      if (!IsObjectLineFor(line, position)) continue;
      if (position == target)
        found.target = true;
      else
        sources.insert(position);
    }
  }
  found.sources.assign(sources.begin(), sources.end());
  return found;
}

std::string GridTypeName(int16_t position) {
  const GridVersion& row = GridCatalogue().Item(position);
  return GridDisplayName(position).value_or(row.FullName) + " (" + row.OCXFileName() + ")";
}

}  // namespace vireo

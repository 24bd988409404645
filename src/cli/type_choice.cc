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

int16_t ReferencedSourceType(const std::string& project_path, const ControlRegistry& registry) {
  ConvertForm form;
  form.FillGridLists(registry);
  std::set<int16_t> referenced;
  LineReader reader;
  if (reader.Open(project_path)) return 0;
  std::string line;
  while (reader.ReadLine(&line)) {
    for (const ComboEntry& entry : form.FromCombo.entries) {
      if (IsObjectLineFor(line, static_cast<int16_t>(entry.item_data)))
        referenced.insert(static_cast<int16_t>(entry.item_data));
    }
  }
  return referenced.size() == 1 ? *referenced.begin() : 0;
}

}  // namespace vireo

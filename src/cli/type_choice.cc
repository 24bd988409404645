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
    if (wanted == std::to_string(position) || EqualsNoCase(wanted, TypeName(position)) ||
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
    std::string name = TypeName(static_cast<int16_t>(position));
    name.resize(std::max<size_t>(name.size(), 30), ' ');
    std::string file = row.OCXFileName();
    file.resize(std::max<size_t>(file.size(), 14), ' ');
    text += "  " + std::to_string(position) + "  " + name + file + row.LIBID + "  " +
            (row.Registered(registry) ? "registered" : "not registered") + "\n";
  }
  return text;
}

std::string TypeName(int16_t position) {
  const GridVersions& catalogue = GridCatalogue();
  if (position < 1 || position > catalogue.Count()) return "";
  return GridDisplayName(position).value_or(catalogue.Item(position).FullName);
}

std::string GridTypeName(int16_t position) {
  return TypeName(position) + " (" + GridCatalogue().Item(position).OCXFileName() + ")";
}

std::string GridTypeNames(const std::set<int16_t>& positions) {
  std::string names;
  for (int16_t position : positions) names += (names.empty() ? "" : ", ") + GridTypeName(position);
  return names;
}

std::string SourceProblem(const SourceChoice& choice) {
  if (choice.finding != SourceFinding::kSeveral) return "cannot tell which grid type it uses";
  return std::string(choice.from_project_file ? "references" : "uses") +
         " more than one grid library (" +
         GridTypeNames({choice.candidates.begin(), choice.candidates.end()}) + ")";
}

}  // namespace vireo

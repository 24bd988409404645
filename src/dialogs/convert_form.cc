#include "dialogs/convert_form.h"

#include "engine/catalogue/grid_catalogue.h"

namespace vireo {
namespace {

// The rows offered, in the order they are added.
struct OfferedRow {
  int position;
  bool is_source;
};
constexpr OfferedRow kOfferedRows[] = {{1, true}, {2, true}, {3, true}, {6, true}, {5, false}};

}  // namespace

std::optional<std::string> GridDisplayName(int position) {
  switch (position) {
    case 1:
      return "Plover 1.0";
    case 2:
      return "Vireo 4.0";
    case 3:
      return "Vireo Standard 1.0";
    case 5:
      return "Vireo Pro 5.0 for VB4";
    case 6:
      return "Vireo Pro 5.0 for VB4 (Eval)";
    default:
      return std::nullopt;
  }
}

const ComboEntry* ComboList::Selection() const {
  if (selected < 0 || selected >= ListCount()) return nullptr;
  return &entries[static_cast<size_t>(selected)];
}

void ConvertForm::Load(const ControlRegistry& registry) {
  unloaded_ = false;
  FillGridLists(registry);
  FromType = 0;
  ToType = 0;
}

void ConvertForm::FillGridLists(const ControlRegistry& registry) {
  if (FromCombo.ListCount() > 0 || ToCombo.ListCount() > 0) return;
  for (const OfferedRow& row : kOfferedRows) {
    if (!GridCatalogue().Item(row.position).Registered(registry)) continue;
    ComboList& list = row.is_source ? FromCombo : ToCombo;
    list.entries.push_back({*GridDisplayName(row.position), row.position});
  }
  if (FromCombo.ListCount() > 0) FromCombo.selected = 0;
  if (ToCombo.ListCount() > 0) ToCombo.selected = 0;
  UpdateOKButton();
}

void ConvertForm::UpdateOKButton() { ok_enabled_ = OKDisabledReason().empty(); }

std::string ConvertForm::OKDisabledReason() const {
  constexpr char kDisabled[] = "OK is disabled: ";
  bool no_source = FromCombo.ListCount() == 0, no_target = ToCombo.ListCount() == 0;
  if (no_source && no_target)
    return std::string(kDisabled) + "no grid type is registered on this machine.";
  if (no_source)
    return std::string(kDisabled) + "no source grid type is registered on this machine.";
  if (no_target)
    return std::string(kDisabled) + "no target grid type is registered on this machine.";
  if (!FromCombo.Selection()) return std::string(kDisabled) + "no source grid type is selected.";
  if (!ToCombo.Selection()) return std::string(kDisabled) + "no target grid type is selected.";
  if (FromCombo.Selection()->item_data == ToCombo.Selection()->item_data)
    return std::string(kDisabled) + "the source and the target are the same grid type.";
  return "";
}

bool ConvertForm::Pick(ComboList& list, int index) {
  if (index < 0 || index >= list.ListCount()) return false;
  list.selected = index;
  return true;
}

bool ConvertForm::PickFrom(int index) {
  if (!Pick(FromCombo, index)) return false;
  UpdateOKButton();
  return true;
}

bool ConvertForm::PickTo(int index) {
  if (!Pick(ToCombo, index)) return false;
  UpdateOKButton();
  return true;
}

bool ConvertForm::PickFromType(int position) {
  for (int i = 0; i < FromCombo.ListCount(); ++i) {
    if (FromCombo.entries[static_cast<size_t>(i)].item_data == position) return PickFrom(i);
  }
  return false;
}

bool ConvertForm::OK() {
  if (!ok_enabled_) return false;
  FromType = static_cast<int16_t>(FromCombo.Selection()->item_data);
  ToType = static_cast<int16_t>(ToCombo.Selection()->item_data);
  unloaded_ = true;
  return true;
}

void ConvertForm::Cancel() { unloaded_ = true; }

std::string WithoutAccessKey(const std::string& caption) {
  std::string text;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;  // "&&" stands for one "&"
    text += caption[i];
  }
  return text;
}

}  // namespace vireo

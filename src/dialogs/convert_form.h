// The rules of the convert dialog, apart from any drawing: which grid types
// the two lists offer, what is selected, when OK is enabled, and what OK or
// Cancel leave in FromType and ToType. A terminal or a window draws it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/control_registry.h"

namespace vireo {

// The name the dialog shows for a catalogue position; none for 4 (never
// offered) or a position outside 1 to 6.
std::optional<std::string> GridDisplayName(int position);

struct ComboEntry {
  std::string text;
  int item_data;  // the catalogue position
};

// A drop-down list without typing: entries in insertion order, one selected.
struct ComboList {
  std::vector<ComboEntry> entries;
  int selected = -1;  // index into `entries`; -1: none

  int ListCount() const { return static_cast<int>(entries.size()); }
  const ComboEntry* Selection() const;
};

class ConvertForm {
 public:
  static constexpr char kCaption[] = "Vireo Pro 5.0 Migration Utility";
  static constexpr char kFromLabel[] = "Convert &From:";
  static constexpr char kToLabel[] = "&To:";
  static constexpr char kOKButton[] = "OK";
  static constexpr char kCancelButton[] = "Cancel";
  static constexpr char kLabel1[] =
      "Specify the types of grid controls to be converted, then choose OK to begin the "
      "conversion.";
  static constexpr char kLabel2[] =
      "NOTE:  This add-in does not backup your source files.  Cancel now if you wish to make a "
      "backup.";
  // Label2's place in the command line's dialogs: vireo-migrate is no add-in,
  // and it does keep copies when asked to.
  static constexpr char kCommandLineNote[] =
      "NOTE:  vireo-migrate keeps no copy of your files unless you give --backup DIR.  Cancel now "
      "if you wish to make a backup.";

  // Fills the lists, then clears FromType and ToType. The grid catalogue
  // must be filled.
  void Load(const ControlRegistry& registry);
  // Adds the registered grid types, unless either list has entries already.
  void FillGridLists(const ControlRegistry& registry);
  void UpdateOKButton();
  bool OKEnabled() const { return ok_enabled_; }
  // Why UpdateOKButton disables OK for the lists as they stand, as a line to
  // show the user; empty when it enables OK.
  std::string OKDisabledReason() const;

  // The user picks an entry; false (and nothing changes) for an index that
  // names no entry.
  bool PickFrom(int index);
  bool PickTo(int index);
  // Picks the source entry of catalogue position `position`; false (and
  // nothing changes) when the list does not offer it.
  bool PickFromType(int position);

  // OK sets the results from the selected entries (only when OK is enabled;
  // false otherwise); Cancel leaves them as Load set them. Both unload.
  bool OK();
  void Cancel();
  bool Unloaded() const { return unloaded_; }

  ComboList FromCombo;
  ComboList ToCombo;
  int16_t FromType = 0;
  int16_t ToType = 0;

 private:
  static bool Pick(ComboList& list, int index);

  bool ok_enabled_ = false;
  bool unloaded_ = false;
};

// Returns `caption` without its access-key marker ("Convert &From:" gives
// "Convert From:").
std::string WithoutAccessKey(const std::string& caption);

}  // namespace vireo

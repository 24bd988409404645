// How the program reaches the user: message boxes, the mouse pointer, the
// modal convert dialog and the progress window.
#pragma once

#include <cstdint>
#include <string>

namespace vireo {

inline constexpr int kStyleWarning = 4144;      // exclamation icon, OK, system-modal
inline constexpr int kStyleInformation = 4160;  // information icon, OK, system-modal
inline constexpr int kHourglassPointer = 11;
inline constexpr char kProgramTitle[] = "Vireo Pro 5.0 Migration Utility";

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // A message box with the program's title. A carriage return inside `text`
  // starts a new line.
  virtual void MessageBox(const std::string& text, int style) = 0;
  virtual int MousePointer() = 0;
  virtual void SetMousePointer(int pointer) = 0;
};

// The convert dialog, shown modally. Leaves the chosen catalogue positions in
// `from_type` and `to_type`, or 0 in both when the user cancelled.
class ConvertDialog {
 public:
  virtual ~ConvertDialog() = default;
  virtual void ShowModal(int16_t* from_type, int16_t* to_type) = 0;
};

// The progress window: each text is shown at once.
class StatusWindow {
 public:
  virtual ~StatusWindow() = default;
  virtual void Show() = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void Hide() = 0;
};

}  // namespace vireo

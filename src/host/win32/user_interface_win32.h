// The user interface on Windows: message boxes with the program's title, the
// screen's mouse pointer, the convert dialog as a modal dialog box and the
// progress window as a small modeless window.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "host/control_registry.h"
#include "host/user_interface.h"
#include "host/win32/windows_headers.h"

namespace vireo {

class Win32UserInterface final : public UserInterface {
 public:
  // `text` goes to the box as it is: a carriage return alone breaks the line.
  void MessageBox(const std::string& text, int style) override;
  int MousePointer() override { return pointer_; }
  // 11 shows the hourglass; any other value the arrow.
  void SetMousePointer(int pointer) override;

 private:
  int pointer_ = 0;
};

// ConvertForm drawn as a dialog box, centred on the screen, driven by the
// rules in dialogs/convert_form.h. Control identifiers, for whoever drives
// the dialog from outside (the tests): the buttons are IDOK and IDCANCEL.
class Win32ConvertDialog final : public ConvertDialog {
 public:
  static constexpr int kFromLabel = 100;
  static constexpr int kFromCombo = 101;
  static constexpr int kToLabel = 102;
  static constexpr int kToCombo = 103;
  static constexpr int kLabel1 = 104;
  static constexpr int kLabel2 = 105;  // the note
  static constexpr int kPicture1 = 106;
  static constexpr int kPicture2 = 107;
  static constexpr int kOKDisabledReason = 108;  // only with explain_disabled_ok

  // What sets the command line's dialog apart from the add-in's.
  struct Options {
    std::string note;                // empty: the add-in's Label2
    int16_t preselected_source = 0;  // a catalogue position; 0 for none
    // Adds a line under the note that says why OK is disabled, when the
    // lists leave it disabled.
    bool explain_disabled_ok = false;
  };
  // The command line's options: its own note, the project's library
  // selected first, and why OK is disabled said.
  static Options CommandLineOptions(int16_t detected_source);

  // The add-in's dialog.
  explicit Win32ConvertDialog(const ControlRegistry& registry) : registry_(registry) {}
  Win32ConvertDialog(const ControlRegistry& registry, Options options)
      : registry_(registry), options_(std::move(options)) {}
  void ShowModal(int16_t* from_type, int16_t* to_type) override;

 private:
  const ControlRegistry& registry_;
  Options options_;
};

// The window captioned "Status" with its one label, Label1. Created and
// centred when first shown; hiding keeps it for the next run.
class Win32StatusWindow final : public StatusWindow {
 public:
  static constexpr int kLabel1 = 100;

  ~Win32StatusWindow() override;
  void Show() override;
  // Sets the label and repaints it at once.
  void SetText(const std::string& text) override;
  void Hide() override;

  HWND window() const { return window_; }

 private:
  HWND window_ = nullptr;
  HWND label_ = nullptr;
};

}  // namespace vireo

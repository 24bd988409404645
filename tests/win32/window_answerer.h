// Answers the program's dialogs and message boxes from a thread of the test,
// as a user would: it finds the window on the desktop, reads what it shows
// and sends it the messages of a click. Nothing inside the program is hooked,
// so this works for a program in another process too.
#pragma once

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/win32/windows_headers.h"

namespace vireo::testing {

struct SeenWindow {
  enum Kind { kConvertDialog, kMessageBox } kind = kMessageBox;
  // Message boxes.
  std::string text;
  std::string icon;  // "exclamation", "information", or "other"
  int buttons = 0;
  std::string button_text;  // of the only button, if one
  bool topmost = false;
  // The convert dialog, as it was when found.
  std::string caption;
  // FromLabel, ToLabel, Label1, Label2, OK and Cancel.
  std::vector<std::string> texts;
  std::vector<std::string> from_entries, to_entries;
  std::string from_selected, to_selected;
  bool ok_enabled = false;
  bool ok_is_default = false;
  std::vector<int> tab_order;  // control identifiers, from the first stop on
  bool centred = false;
  bool ok_enabled_after_pick = false;
};

class WindowAnswerer {
 public:
  WindowAnswerer();
  ~WindowAnswerer();
  WindowAnswerer(const WindowAnswerer&) = delete;
  WindowAnswerer& operator=(const WindowAnswerer&) = delete;

  // How the next convert dialogs are answered: the source entry to pick
  // (by its text; empty keeps the selection), then OK or Cancel. Message
  // boxes are always answered with their button.
  void AnswerDialogs(const std::string& pick_from, bool ok);
  // What was found since the last call, in order.
  std::vector<SeenWindow> TakeSeen();

 private:
  void Watch();
  void Answer(HWND window);

  std::mutex mutex_;
  std::string pick_from_;
  bool ok_ = true;
  std::vector<SeenWindow> seen_;
  std::set<HWND> answered_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The text of a control of another process's window.
std::string WindowText(HWND window);

}  // namespace vireo::testing

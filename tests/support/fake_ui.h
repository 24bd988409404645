// User-interface fakes that record what the program showed: message boxes,
// mouse pointer changes, the convert dialog (answered with scripted types)
// and the progress window.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/user_interface.h"

namespace vireo::testing {

struct ShownMessage {
  std::string text;
  int style = 0;
  bool operator==(const ShownMessage&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const ShownMessage& m) {
    return out << "{\"" << m.text << "\", " << m.style << "}";
  }
};

class FakeUserInterface : public UserInterface {
 public:
  void MessageBox(const std::string& text, int style) override {
    messages.push_back({text, style});
  }
  int MousePointer() override { return pointer; }
  void SetMousePointer(int new_pointer) override {
    pointer = new_pointer;
    pointer_changes.push_back(new_pointer);
  }

  std::vector<ShownMessage> messages;
  int pointer = 0;                   // the pointer in force
  std::vector<int> pointer_changes;  // every value set, in order
};

// Answers every ShowModal with `from` and `to` (0 and 0: cancelled).
class FakeConvertDialog : public ConvertDialog {
 public:
  FakeConvertDialog(int16_t from_answer = 0, int16_t to_answer = 0)
      : from(from_answer), to(to_answer) {}
  void ShowModal(int16_t* from_type, int16_t* to_type) override {
    ++shown;
    *from_type = from;
    *to_type = to;
  }

  int16_t from;
  int16_t to;
  int shown = 0;
};

class FakeStatusWindow : public StatusWindow {
 public:
  void Show() override {
    visible = true;
    ++shown;
    events.push_back("Show");
  }
  void SetText(const std::string& text) override {
    texts.push_back(text);
    events.push_back("Text:" + text);
  }
  void Hide() override {
    visible = false;
    ++hidden;
    events.push_back("Hide");
  }

  bool visible = false;
  int shown = 0;
  int hidden = 0;
  std::vector<std::string> texts;   // every text, in order
  std::vector<std::string> events;  // "Show", "Text:<text>" and "Hide", in order
};

}  // namespace vireo::testing

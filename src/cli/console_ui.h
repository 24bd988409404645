// The user interface of the command line: message boxes become lines on
// standard output (outcomes) or standard error (warnings), the progress
// window becomes lines on standard error, each written at once.
#pragma once

#include <cstdio>
#include <string>

#include "host/user_interface.h"

namespace vireo {

// A carriage return inside a message (with or without a line feed) as a line break.
std::string AsTerminalLines(const std::string& text);

class ConsoleUi final : public UserInterface {
 public:
  ConsoleUi(std::FILE* out, std::FILE* err, bool quiet) : out_(out), err_(err), quiet_(quiet) {}
  void MessageBox(const std::string& text, int style) override;
  int MousePointer() override { return pointer_; }
  void SetMousePointer(int pointer) override { pointer_ = pointer; }

 private:
  std::FILE* out_;
  std::FILE* err_;
  bool quiet_;
  int pointer_ = 0;
};

class ConsoleStatus final : public StatusWindow {
 public:
  ConsoleStatus(std::FILE* err, bool quiet) : err_(err), quiet_(quiet) {}
  void Show() override {}
  // Writes the text; a text that extends the one before writes only what it adds.
  void SetText(const std::string& text) override;
  void Hide() override { shown_.clear(); }

 private:
  std::FILE* err_;
  bool quiet_;
  std::string shown_;
};

}  // namespace vireo

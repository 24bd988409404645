#include "cli/console_ui.h"

namespace vireo {

std::string AsTerminalLines(const std::string& text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      lines += text[i];
    }
  }
  return lines;
}

void ConsoleUi::MessageBox(const std::string& text, int style) {
  bool warning = style == kStyleWarning;
  if (quiet_ && !warning) return;
  std::FILE* stream = warning ? err_ : out_;
  std::fputs((AsTerminalLines(text) + "\n").c_str(), stream);
  std::fflush(stream);
}

void ConsoleStatus::SetText(const std::string& text) {
  std::string added = text;
  if (!shown_.empty() && text.compare(0, shown_.size(), shown_) == 0) {
    added = text.substr(shown_.size());
    if (added.compare(0, 2, "\r\n") == 0) added.erase(0, 2);
  }
  shown_ = text;
  if (quiet_ || added.empty()) return;
  std::fputs((AsTerminalLines(added) + "\n").c_str(), err_);
  std::fflush(err_);
}

}  // namespace vireo

#include "cli/console_ui.h"

#include <algorithm>

namespace vireo {
namespace {

// One character of a text as a terminal draws it: its bytes and its columns.
struct Glyph {
  size_t length;
  size_t columns;
};

bool IsWide(char32_t c) {
  static constexpr std::pair<char32_t, char32_t> kWide[] = {
      {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},  {0x4E00, 0x9FFF},
      {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},  {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};
  return std::any_of(std::begin(kWide), std::end(kWide),
                     [c](const auto& range) { return c >= range.first && c <= range.second; });
}

// An escape sequence ("\033[...m") from `at`: its length, else 0.
size_t EscapeAt(std::string_view text, size_t at) {
  if (text[at] != '\033' || at + 1 >= text.size() || text[at + 1] != '[') return 0;
  size_t end = at + 2;
  while (end < text.size() && (text[end] < 0x40 || text[end] > 0x7E)) ++end;
  return std::min(end + 1, text.size()) - at;
}

Glyph GlyphAt(std::string_view text, size_t at) {
  if (size_t escape = EscapeAt(text, at)) return {escape, 0};
  auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x20 || byte == 0x7F) return {1, 0};
  if (byte < 0x80) return {1, 1};
  size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
  char32_t code = byte & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= text.size() || (static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
      return {1, 1};  // not UTF-8: a byte is a column
    code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  }
  if (length == 1) return {1, 1};
  if (code >= 0x300 && code <= 0x36F) return {length, 0};  // a combining accent
  return {length, IsWide(code) ? 2u : 1u};
}

// Where each glyph of `text` starts, and where the text ends.
std::vector<size_t> GlyphStarts(std::string_view text) {
  std::vector<size_t> starts;
  for (size_t at = 0; at < text.size(); at += GlyphAt(text, at).length) starts.push_back(at);
  starts.push_back(text.size());
  return starts;
}

// Appends `word` to `lines`, whose last line is being filled.
void AddWord(std::string_view word, size_t columns, std::vector<std::string>& lines) {
  size_t used = lines.empty() ? 0 : DisplayColumns(lines.back());
  size_t wanted = DisplayColumns(word);
  if (used > 0 && used + 1 + wanted <= columns) {
    // Appended piecewise: GCC 12 warns falsely (-Wrestrict) about " " + word.
    lines.back() += ' ';
    lines.back() += word;
    return;
  }
  while (wanted > columns) {
    std::string piece = KeepStart(word, columns);
    if (piece.empty()) break;  // a character wider than a line
    lines.push_back(piece);
    word.remove_prefix(piece.size());
    wanted = DisplayColumns(word);
  }
  if (!word.empty()) lines.emplace_back(word);
}

}  // namespace

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

size_t DisplayColumns(std::string_view text) {
  size_t columns = 0;
  for (size_t at = 0; at < text.size();) {
    Glyph glyph = GlyphAt(text, at);
    columns += glyph.columns;
    at += glyph.length;
  }
  return columns;
}

std::string KeepStart(std::string_view text, size_t columns) {
  size_t used = 0, at = 0;
  while (at < text.size()) {
    Glyph glyph = GlyphAt(text, at);
    if (used + glyph.columns > columns) break;
    used += glyph.columns;
    at += glyph.length;
  }
  return std::string(text.substr(0, at));
}

std::string KeepEnd(std::string_view text, size_t columns) {
  if (DisplayColumns(text) <= columns) return std::string(text);
  static constexpr std::string_view kCut = "...";
  if (columns <= kCut.size()) return std::string(kCut.substr(0, columns));
  std::vector<size_t> starts = GlyphStarts(text);
  size_t used = 0, from = text.size();
  for (size_t i = starts.size() - 1; i > 0; --i) {
    size_t width = DisplayColumns(text.substr(starts[i - 1], starts[i] - starts[i - 1]));
    if (used + width > columns - kCut.size()) break;
    used += width;
    from = starts[i - 1];
  }
  return std::string(kCut) + std::string(text.substr(from));
}

std::vector<std::string> WrapAtSpaces(std::string_view text, size_t columns) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    size_t space = text.find(' ');
    std::string_view word = text.substr(0, space);
    if (!word.empty()) AddWord(word, std::max<size_t>(columns, 1), lines);
    text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
  }
  return lines;
}

std::string FormatTable(const std::vector<TableRow>& rows, size_t columns) {
  std::vector<size_t> widths;
  for (const TableRow& row : rows) {
    widths.resize(std::max(widths.size(), row.cells.size()));
    for (size_t c = 0; c < row.cells.size(); ++c)
      widths[c] = std::max(widths[c], DisplayColumns(row.cells[c]));
  }
  constexpr size_t kIndent = 4;
  std::string text;
  for (const TableRow& row : rows) {
    for (size_t c = 0; c < row.cells.size(); ++c) {
      text += row.cells[c];
      if (c + 1 < row.cells.size())
        text += std::string(widths[c] + 2 - DisplayColumns(row.cells[c]), ' ');
    }
    text += "\n";
    if (row.note.empty()) continue;
    std::vector<std::string> note{row.note};
    if (columns > kIndent + 1) note = WrapAtSpaces(row.note, columns - 1 - kIndent);
    for (const std::string& line : note) text += std::string(kIndent, ' ') + line + "\n";
  }
  return text;
}

void LiveLine::Draw(const std::string& head, const std::string& name, const std::string& tail) {
  size_t room = columns_ > 0 ? columns_ - 1 : 0;
  size_t fixed = DisplayColumns(head) + DisplayColumns(tail);
  std::string line = head + KeepEnd(name, room > fixed ? room - fixed : 0) + tail;
  std::fputs(("\r\033[K" + KeepStart(line, room)).c_str(), stream_);
  std::fflush(stream_);
  drawn_ = true;
}

void LiveLine::Say(const std::string& text) {
  Clear();
  std::fputs((text + "\n").c_str(), stream_);
  std::fflush(stream_);
}

void LiveLine::Clear() {
  if (drawn_) std::fputs("\r\033[K", stream_);
  drawn_ = false;
  std::fflush(stream_);
}

void LiveLine::Keep() {
  if (drawn_) std::fputs("\n", stream_);
  drawn_ = false;
  std::fflush(stream_);
}

void ConsoleUi::MessageBox(const std::string& text, int style) {
  if (holding_) {
    held_.emplace_back(text, style);
  } else {
    Show(text, style);
  }
}

void ConsoleUi::ShowHeldMessages() {
  holding_ = false;
  for (const auto& [text, style] : held_) Show(text, style);
  held_.clear();
}

void ConsoleUi::Show(const std::string& text, int style) {
  bool warning = style == kStyleWarning;
  if (quiet_ && !warning) return;
  std::FILE* stream = warning ? err_ : out_;
  std::fputs((AsTerminalLines(text) + "\n").c_str(), stream);
  std::fflush(stream);
}

void ConsoleProgress::Hear(const RunEvent& event) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (event.kind == RunEvent::Kind::kFileConverted) {
    if (event.result == kChanged) changed_.push_back(event.shown);
  } else if (terminal_ && !quiet_) {
    live_.Draw(" Migrating ", event.shown, "...");
  }
}

void ConsoleProgress::Say(const std::string& text) {
  if (text.empty()) return;
  std::lock_guard<std::mutex> hold(mutex_);
  if (!terminal_) {
    std::fputs(text.c_str(), err_);
    std::fflush(err_);
    return;
  }
  live_.Say(text.back() == '\n' ? text.substr(0, text.size() - 1) : text);
}

void ConsoleProgress::Finish(bool committed) {
  std::lock_guard<std::mutex> hold(mutex_);
  live_.Clear();
  if (quiet_ || !committed) return;
  for (const std::string& file : changed_)
    std::fputs((" Migrating " + file + "...\n  Done!\n").c_str(), err_);
  std::fflush(err_);
}

std::string ShellWord(const std::string& word) {
  bool plain = !word.empty() && word.find_first_not_of(
                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                    "0123456789_./+,:=@%-") == std::string::npos;
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace vireo

// The user interface of the command line: message boxes become lines on
// standard output (outcomes) or standard error (warnings), and a run's
// progress is told from its RunEvents: a live line on a terminal, fitted to
// its width, and the files the run changed once they are changed. Also the
// text layout the terminal views share: widths, shortening, wrapping, tables.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/project/convert_project.h"
#include "host/user_interface.h"

namespace vireo {

// A carriage return inside a message (with or without a line feed) as a line break.
std::string AsTerminalLines(const std::string& text);

// The columns `text` (UTF-8) takes on a terminal: a character one, an East
// Asian wide character two, an escape sequence ("\033[31m") none.
size_t DisplayColumns(std::string_view text);
// `text` in at most `columns` columns: whole, or its end behind "...".
std::string KeepEnd(std::string_view text, size_t columns);
// `text` in at most `columns` columns: whole, or cut after its start.
std::string KeepStart(std::string_view text, size_t columns);
// `text` in lines of at most `columns` columns, broken at spaces; a word
// longer than a line is broken where the line ends.
std::vector<std::string> WrapAtSpaces(std::string_view text, size_t columns);

// `word` as a POSIX shell reads it back: as it is when plain, else quoted.
std::string ShellWord(const std::string& word);

// A table row; its note is printed under it.
struct TableRow {
  std::vector<std::string> cells;
  std::string note;
};
// The rows (a heading first) with each column as wide as its widest cell and
// two spaces, the last column unpadded; each note under its row indented by
// four and, when `columns` is not 0, wrapped at spaces to fit in columns - 1.
std::string FormatTable(const std::vector<TableRow>& rows, size_t columns);

// One line a terminal redraws in place. It never takes more than columns - 1
// columns, so that it never wraps and a carriage return always reaches its
// start. Not thread-safe: its owner serializes the calls.
class LiveLine {
 public:
  LiveLine(std::FILE* stream, size_t columns) : stream_(stream), columns_(columns) {}
  ~LiveLine() { Clear(); }
  LiveLine(const LiveLine&) = delete;
  LiveLine& operator=(const LiveLine&) = delete;
  // `head`, `name` and `tail` on one line; `name` loses its start, then the
  // line its end, until it fits.
  void Draw(const std::string& head, const std::string& name, const std::string& tail = "");
  // `text` as a line of its own above the live line (which it removes).
  void Say(const std::string& text);
  void Clear();
  // Ends the line drawn last: it stays on the screen as a line of its own.
  void Keep();

 private:
  std::FILE* stream_;
  size_t columns_;
  bool drawn_ = false;
};

class ConsoleUi final : public UserInterface {
 public:
  ConsoleUi(std::FILE* out, std::FILE* err, bool quiet) : out_(out), err_(err), quiet_(quiet) {}
  void MessageBox(const std::string& text, int style) override;
  int MousePointer() override { return pointer_; }
  void SetMousePointer(int pointer) override { pointer_ = pointer; }
  // Keeps the messages until ShowHeldMessages, so that what is said of a
  // run's files can come before its outcome.
  void HoldMessages() { holding_ = true; }
  void ShowHeldMessages();

 private:
  void Show(const std::string& text, int style);

  std::FILE* out_;
  std::FILE* err_;
  bool quiet_;
  int pointer_ = 0;
  bool holding_ = false;
  std::vector<std::pair<std::string, int>> held_;
};

// The Status window's texts are the add-in's: a front end that follows the
// run's events shows none of them.
// Message boxes are the run's outcome, said in a summary instead.
class QuietUi final : public UserInterface {
 public:
  void MessageBox(const std::string&, int) override {}
  int MousePointer() override { return pointer_; }
  void SetMousePointer(int pointer) override { pointer_ = pointer; }

 private:
  int pointer_ = 0;
};

class SilentStatus final : public StatusWindow {
 public:
  void Show() override {}
  void SetText(const std::string&) override {}
  void Hide() override {}
};

// A single run's progress on standard error, told by its events: on a
// terminal a live line names the file being converted; each file the run
// changed is said (" Migrating X...", "  Done!") only once the run has
// committed, so nothing is said done that a failure then leaves as it was.
class ConsoleProgress {
 public:
  // `columns`: the terminal's width; 0 when standard error is no terminal.
  ConsoleProgress(std::FILE* err, size_t columns, bool quiet)
      : err_(err), live_(err, columns), terminal_(columns > 0), quiet_(quiet) {}
  void Hear(const RunEvent& event);
  // A message said while the run goes on.
  void Say(const std::string& text);
  // The run has ended: the live line goes and, when `committed`, each file
  // it changed is said done.
  void Finish(bool committed);

 private:
  std::mutex mutex_;
  std::FILE* err_;
  LiveLine live_;
  bool terminal_;
  bool quiet_;
  std::vector<std::string> changed_;  // as progress names them
};

}  // namespace vireo

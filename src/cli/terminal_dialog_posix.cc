#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "cli/terminal_dialog.h"
#include "dialogs/convert_form.h"
#include "engine/catalogue/grid_catalogue.h"

namespace vireo {
namespace {

constexpr int kEscapeWaitMs = 50;  // a lone Esc is one not followed by more bytes by then

// Clear, home, hide the cursor; the alternate screen keeps what was there before.
constexpr char kOpenScreen[] = "\x1b[?1049h\x1b[?25l";
constexpr char kCloseScreen[] = "\x1b[?25h\x1b[?1049l";
constexpr char kClear[] = "\x1b[H\x1b[2J";

enum class Key { kUp, kDown, kNextList, kFromList, kToList, kEnter, kCancel, kOther, kEnd };

// Raw keyboard input for the lifetime of the object, when `fd` is a terminal.
class RawMode {
 public:
  explicit RawMode(int fd) : fd_(fd) {
    if (::tcgetattr(fd_, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = ::tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
  ~RawMode() {
    if (active_) ::tcsetattr(fd_, TCSANOW, &saved_);
  }
  RawMode(const RawMode&) = delete;
  RawMode& operator=(const RawMode&) = delete;

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// One byte, waiting at most `timeout_ms` (-1: for ever); false on timeout,
// end of input or error.
bool ReadByte(int fd, char* byte, int timeout_ms) {
  pollfd waiting{fd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&waiting, 1, timeout_ms);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  ssize_t n;
  do {
    n = ::read(fd, byte, 1);
  } while (n < 0 && errno == EINTR);
  return n == 1;
}

// After Esc: an escape sequence such as "\x1b[A", or Esc alone.
Key ReadEscape(int fd) {
  char byte;
  if (!ReadByte(fd, &byte, kEscapeWaitMs)) return Key::kCancel;
  if (byte != '[' && byte != 'O') return Key::kOther;
  do {  // parameters, then the final byte
    if (!ReadByte(fd, &byte, kEscapeWaitMs)) return Key::kOther;
  } while (byte < 0x40 || byte > 0x7e);
  switch (byte) {
    case 'A':
      return Key::kUp;
    case 'B':
      return Key::kDown;
    case 'C':
    case 'D':
    case 'Z':
      return Key::kNextList;  // Right, Left, Shift-Tab: there are only two lists
    default:
      return Key::kOther;
  }
}

Key ReadKey(int fd) {
  char byte;
  if (!ReadByte(fd, &byte, -1)) return Key::kEnd;
  switch (byte) {
    case '\x1b':
      return ReadEscape(fd);
    case '\r':
    case '\n':
      return Key::kEnter;
    case '\t':
      return Key::kNextList;
    case 'f':
    case 'F':
      return Key::kFromList;
    case 't':
    case 'T':
      return Key::kToList;
    case 'c':
    case 'C':
    case '\x03':
      return Key::kCancel;  // Ctrl-C too, since raw mode keeps it from us
    default:
      return Key::kOther;
  }
}

std::string DrawList(const char* label, const ComboList& list, bool focused) {
  std::string text = std::string(focused ? " > " : "   ") + WithoutAccessKey(label) + "\r\n";
  if (list.entries.empty()) text += "       (none)\r\n";
  for (int i = 0; i < list.ListCount(); ++i) {
    text += i == list.selected ? "     (*) " : "     ( ) ";
    text += list.entries[static_cast<size_t>(i)].text + "\r\n";
  }
  return text;
}

std::string Draw(const ConvertForm& form, bool to_focused, const std::string& note) {
  std::string caption = ConvertForm::kCaption;
  std::string text = kClear;
  text += " " + caption + "\r\n " + std::string(caption.size(), '=') + "\r\n\r\n";
  if (!note.empty()) text += " " + note + "\r\n\r\n";
  text += " " + std::string(ConvertForm::kLabel1) + "\r\n\r\n";
  text += DrawList(ConvertForm::kFromLabel, form.FromCombo, !to_focused) + "\r\n";
  text += DrawList(ConvertForm::kToLabel, form.ToCombo, to_focused) + "\r\n";
  text += " " + std::string(ConvertForm::kCommandLineNote) + "\r\n\r\n";
  text += form.OKEnabled() ? "   [ OK ]" : "     OK   (disabled)";
  text += "   [ Cancel ]\r\n\r\n";
  if (!form.OKEnabled()) text += " " + form.OKDisabledReason() + "\r\n\r\n";
  text += " Up/Down: choose   Tab: other list   Enter: OK   Esc: Cancel\r\n";
  return text;
}

// Moves the selection of a list by `step`, staying within it.
void Move(ConvertForm& form, bool to_list, int step) {
  ComboList& list = to_list ? form.ToCombo : form.FromCombo;
  int index = list.selected < 0 ? 0 : list.selected + step;
  if (index < 0 || index >= list.ListCount()) return;
  if (to_list) {
    form.PickTo(index);
  } else {
    form.PickFrom(index);
  }
}

// Registration decides what is offered only where it tells something: with
// no source or no target registered, everything is offered.
struct EverythingRegistered final : ControlRegistry {
  bool KeyExists(const std::string&) const override { return true; }
};

}  // namespace

void TerminalDialog::ShowModal(int16_t* from_type, int16_t* to_type) {
  ConvertForm form;
  form.Load(registry_);
  std::string note;
  if (form.FromCombo.ListCount() == 0 || form.ToCombo.ListCount() == 0) {
    static const EverythingRegistered everything;
    form = ConvertForm();
    form.Load(everything);
    note = "The Wine prefix registers none of the grid types of one list, so all are offered.";
  }
  form.PickFromType(preselect_);
  RawMode raw(in_fd_);
  WriteAll(out_fd_, kOpenScreen);
  bool to_focused = false;
  while (!form.Unloaded()) {
    WriteAll(out_fd_, Draw(form, to_focused, note));
    switch (ReadKey(in_fd_)) {
      case Key::kUp:
        Move(form, to_focused, -1);
        break;
      case Key::kDown:
        Move(form, to_focused, 1);
        break;
      case Key::kNextList:
        to_focused = !to_focused;
        break;
      case Key::kFromList:
        to_focused = false;
        break;
      case Key::kToList:
        to_focused = true;
        break;
      case Key::kEnter:
        form.OK();
        break;  // refused while OK is disabled
      case Key::kCancel:
      case Key::kEnd:
        form.Cancel();
        break;
      case Key::kOther:
        break;
    }
  }
  WriteAll(out_fd_, kCloseScreen);
  *from_type = form.FromType;
  *to_type = form.ToType;
}

}  // namespace vireo

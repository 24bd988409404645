#include "window_answerer.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <utility>

#include "dialogs/convert_form.h"
#include "host/user_interface.h"
#include "host/win32/user_interface_win32.h"
#include "host/win32/windows_text.h"

namespace vireo::testing {
namespace {

constexpr DWORD kSendTimeoutMs = 5000;

LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR answer = 0;
  ::SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs, &answer);
  return static_cast<LRESULT>(answer);
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

BOOL CALLBACK AddChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

BOOL CALLBACK AddDialog(HWND window, LPARAM list) {
  if (::IsWindowVisible(window) && ClassOf(window) == "#32770")
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  ::EnumChildWindows(parent, AddChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

std::vector<std::string> Entries(HWND combo) {
  std::vector<std::string> entries;
  int count = static_cast<int>(Send(combo, CB_GETCOUNT));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    entries.push_back(Narrow(std::wstring(text)));
  }
  return entries;
}

std::string Selected(HWND combo) {
  int index = static_cast<int>(Send(combo, CB_GETCURSEL));
  std::vector<std::string> entries = Entries(combo);
  return index >= 0 && index < static_cast<int>(entries.size()) ? entries[index] : "";
}

constexpr int kIconSize = 32;

// A 32 by 32 memory picture to draw in, and its pixels (0xRRGGBB).
class Picture {
 public:
  Picture() {
    BITMAPINFO info{};
    info.bmiHeader = {
        sizeof(BITMAPINFOHEADER), kIconSize, -kIconSize, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    dc_ = ::CreateCompatibleDC(nullptr);
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    old_ = ::SelectObject(dc_, bitmap_);
  }
  ~Picture() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  std::vector<DWORD> Pixels() const {
    ::GdiFlush();
    const DWORD* first = static_cast<const DWORD*>(bits_);
    std::vector<DWORD> pixels(first, first + kIconSize * kIconSize);
    for (DWORD& pixel : pixels) pixel &= 0xFFFFFF;
    return pixels;
  }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  void* bits_ = nullptr;
};

// What the screen shows at the top left of `control`.
std::vector<DWORD> Capture(HWND control) {
  RECT place;
  ::GetWindowRect(control, &place);
  Picture picture;
  HDC screen = ::GetDC(nullptr);
  ::BitBlt(picture.dc(), 0, 0, kIconSize, kIconSize, screen, place.left, place.top, SRCCOPY);
  ::ReleaseDC(nullptr, screen);
  return picture.Pixels();
}

std::vector<DWORD> Render(LPCWSTR standard_icon, DWORD background) {
  Picture picture;
  HBRUSH brush =
      ::CreateSolidBrush(RGB(background >> 16, (background >> 8) & 0xFF, background & 0xFF));
  RECT all{0, 0, kIconSize, kIconSize};
  ::FillRect(picture.dc(), &all, brush);
  ::DeleteObject(brush);
  ::DrawIconEx(picture.dc(), 0, 0, ::LoadIconW(nullptr, standard_icon), kIconSize, kIconSize, 0,
               nullptr, DI_NORMAL);
  return picture.Pixels();
}

long Distance(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
  long total = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    for (int shift : {0, 8, 16})
      total += std::abs(static_cast<int>((a[i] >> shift) & 0xFF) -
                        static_cast<int>((b[i] >> shift) & 0xFF));
  }
  return total;
}

// Which standard icon a message box shows, told by what the screen shows:
// the icon's handle belongs to the box's process, but its pixels do not.
std::string IconName(HWND icon_control) {
  std::vector<DWORD> shown;
  for (int attempt = 0; attempt < 50; ++attempt) {  // until it is painted
    shown = Capture(icon_control);
    if (std::count(shown.begin(), shown.end(), shown[0]) < static_cast<long>(shown.size())) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  long exclamation = Distance(shown, Render(reinterpret_cast<LPCWSTR>(IDI_EXCLAMATION), shown[0]));
  long information = Distance(shown, Render(reinterpret_cast<LPCWSTR>(IDI_INFORMATION), shown[0]));
  constexpr long kSame = kIconSize * kIconSize * 3 * 4;  // a few levels a channel
  if (std::min(exclamation, information) > kSame) return "other";
  return exclamation < information ? "exclamation" : "information";
}

bool IsCentred(HWND window) {
  RECT frame;
  ::GetWindowRect(window, &frame);
  int left = (::GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2;
  int top = (::GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2;
  return std::abs(frame.left - left) <= 1 && std::abs(frame.top - top) <= 1;
}

std::vector<int> TabOrder(HWND dialog) {
  std::vector<int> order;
  HWND first = ::GetNextDlgTabItem(dialog, nullptr, FALSE);
  for (HWND at = first; at && order.size() < 20;) {
    order.push_back(::GetDlgCtrlID(at));
    at = ::GetNextDlgTabItem(dialog, at, FALSE);
    if (at == first) break;
  }
  return order;
}

void Click(HWND button) { ::PostMessageA(button, BM_CLICK, 0, 0); }

}  // namespace

std::string WindowText(HWND window) {
  wchar_t text[1024] = {};
  Send(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return Narrow(std::wstring(text));
}

WindowAnswerer::WindowAnswerer() : thread_([this] { Watch(); }) {}

WindowAnswerer::~WindowAnswerer() {
  stop_ = true;
  thread_.join();
}

void WindowAnswerer::AnswerDialogs(const std::string& pick_from, bool ok) {
  std::lock_guard<std::mutex> hold(mutex_);
  pick_from_ = pick_from;
  ok_ = ok;
}

std::vector<SeenWindow> WindowAnswerer::TakeSeen() {
  std::lock_guard<std::mutex> hold(mutex_);
  return std::exchange(seen_, {});
}

void WindowAnswerer::Watch() {
  while (!stop_) {
    std::vector<HWND> found;
    ::EnumWindows(AddDialog, reinterpret_cast<LPARAM>(&found));
    for (HWND window : found) {
      if (answered_.count(window) || WindowText(window) != kProgramTitle) continue;
      answered_.insert(window);
      Answer(window);
    }
    // Forget windows that are gone: Windows may hand out their handles again.
    for (auto it = answered_.begin(); it != answered_.end();)
      it = ::IsWindow(*it) ? std::next(it) : answered_.erase(it);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void WindowAnswerer::Answer(HWND window) {
  SeenWindow seen;
  HWND press = nullptr;
  HWND from = ::GetDlgItem(window, Win32ConvertDialog::kFromCombo);
  std::string pick;
  bool ok;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    pick = pick_from_;
    ok = ok_;
  }
  if (from && ClassOf(from) == "ComboBox") {
    seen.kind = SeenWindow::kConvertDialog;
    HWND to = ::GetDlgItem(window, Win32ConvertDialog::kToCombo);
    HWND ok_button = ::GetDlgItem(window, IDOK);
    seen.caption = WindowText(window);
    for (int id : {Win32ConvertDialog::kFromLabel, Win32ConvertDialog::kToLabel,
                   Win32ConvertDialog::kLabel1, Win32ConvertDialog::kLabel2, IDOK, IDCANCEL})
      seen.texts.push_back(WindowText(::GetDlgItem(window, id)));
    seen.from_entries = Entries(from);
    seen.to_entries = Entries(to);
    seen.from_selected = Selected(from);
    seen.to_selected = Selected(to);
    seen.ok_enabled = ::IsWindowEnabled(ok_button);
    seen.ok_is_default = LOWORD(Send(window, DM_GETDEFID)) == IDOK;
    seen.tab_order = TabOrder(window);
    seen.centred = IsCentred(window);
    if (!pick.empty()) {
      std::wstring wide_pick = Wide(pick);
      int index = static_cast<int>(Send(from, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(wide_pick.c_str())));
      Send(from, CB_SETCURSEL, static_cast<WPARAM>(index));
      Send(window, WM_COMMAND, MAKEWPARAM(Win32ConvertDialog::kFromCombo, CBN_SELCHANGE),
           reinterpret_cast<LPARAM>(from));
    }
    seen.ok_enabled_after_pick = ::IsWindowEnabled(ok_button);
    press = ok ? ok_button : ::GetDlgItem(window, IDCANCEL);
  } else {
    HWND only_button = nullptr;
    for (HWND child : Children(window)) {
      std::string kind = ClassOf(child);
      LONG style = ::GetWindowLongA(child, GWL_STYLE);
      if (kind == "Button") {
        ++seen.buttons;
        only_button = child;
      } else if (kind == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
        seen.icon = IconName(child);
      } else if (kind == "Static" && seen.text.empty()) {
        seen.text = WindowText(child);
      }
    }
    if (seen.buttons == 1) seen.button_text = WindowText(only_button);
    seen.topmost = ::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST;
    press = only_button ? only_button : ::GetDlgItem(window, IDOK);
  }
  // Recorded before the click: the program goes on as soon as it is answered.
  {
    std::lock_guard<std::mutex> hold(mutex_);
    seen_.push_back(seen);
  }
  Click(press);
}

}  // namespace vireo::testing

// ConvertForm as a Windows dialog box. The template is built in memory, so
// the dialog needs no resource file and lives in the library with the rules.
#include <functional>
#include <string>
#include <vector>

#include "dialogs/convert_form.h"
#include "host/win32/user_interface_win32.h"
#include "host/win32/windows_headers.h"
#include "host/win32/windows_text.h"

namespace vireo {
namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboClass = 0x0085;

// Writes a DLGTEMPLATE and its DLGITEMTEMPLATEs into words.
class DialogTemplate {
 public:
  DialogTemplate(const std::string& caption, short width, short height) {
    DWORD style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    Dword(style);
    Dword(0);
    count_at_ = words_.size();
    words_.push_back(0);  // the number of controls, set as they are added
    Words({0, 0, static_cast<WORD>(width), static_cast<WORD>(height)});
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the standard dialog class
    Text(caption);
    words_.push_back(8);  // point size
    Text("MS Shell Dlg");
  }

  void Control(WORD kind, const std::string& text, int id, DWORD style, short x, short y,
               short width, short height) {
    if (words_.size() % 2) words_.push_back(0);  // each control starts on a DWORD
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Words({static_cast<WORD>(x), static_cast<WORD>(y), static_cast<WORD>(width),
           static_cast<WORD>(height), static_cast<WORD>(id)});
    Words({0xFFFF, kind});
    Text(text);
    words_.push_back(0);  // no creation data
    ++words_[count_at_];
  }

  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Dword(DWORD value) { Words({LOWORD(value), HIWORD(value)}); }
  void Words(std::initializer_list<WORD> values) {
    words_.insert(words_.end(), values.begin(), values.end());
  }
  void Text(const std::string& text) {
    for (wchar_t c : Wide(text)) words_.push_back(static_cast<WORD>(c));
    words_.push_back(0);
  }

  std::vector<WORD> words_;
  size_t count_at_ = 0;
};

// A 32 by 32 picture painted pixel by pixel (0xRRGGBB).
HBITMAP Paint(const std::function<COLORREF(int x, int y)>& pixel) {
  constexpr int kSize = 32;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kSize;
  info.bmiHeader.biHeight = -kSize;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return nullptr;
  auto* out = static_cast<DWORD*>(bits);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) out[y * kSize + x] = pixel(x, y);
  }
  return bitmap;
}

// Picture1: a small grid with a header row and a selected cell.
HBITMAP GridPicture() {
  return Paint([](int x, int y) -> COLORREF {
    if (x < 2 || x > 29 || y < 4 || y > 27) return 0xD4D0C8;  // dialog face
    if (x == 2 || x == 29 || y == 4 || y == 27) return 0x404040;
    if (x % 9 == 2 || y % 6 == 4) return 0x808080;
    if (y < 10) return 0x1F4E9A;                                // header
    if (x > 11 && x < 20 && y > 16 && y < 22) return 0xF2C230;  // the current cell
    return 0xFFFFFF;
  });
}

// Picture2: a note sign, a yellow disc with an exclamation mark.
HBITMAP NotePicture() {
  return Paint([](int x, int y) -> COLORREF {
    int dx = x - 16, dy = y - 16;
    int distance = dx * dx + dy * dy;
    if (distance > 14 * 14) return 0xD4D0C8;
    if (distance > 12 * 12) return 0x7A5C00;
    bool mark = (x >= 14 && x <= 17) && ((y >= 7 && y <= 19) || (y >= 22 && y <= 25));
    return mark ? 0x202020 : 0xF5C400;
  });
}

struct DialogState {
  const ControlRegistry* registry;
  const Win32ConvertDialog::Options* options;
  ConvertForm form;
  HBITMAP pictures[2] = {nullptr, nullptr};
};

void Centre(HWND dialog) {
  RECT frame;
  ::GetWindowRect(dialog, &frame);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  ::SetWindowPos(dialog, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FillCombo(HWND combo, const ComboList& list) {
  for (const ComboEntry& entry : list.entries) {
    LRESULT index =
        ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text.c_str()));
    ::SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), entry.item_data);
  }
  ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(list.selected), 0);
}

void ShowOKState(HWND dialog, const ConvertForm& form) {
  ::EnableWindow(::GetDlgItem(dialog, IDOK), form.OKEnabled());
  if (HWND reason = ::GetDlgItem(dialog, Win32ConvertDialog::kOKDisabledReason))
    ::SetWindowTextW(reason, Wide(form.OKDisabledReason()).c_str());
}

bool LeavesOKDisabled(const ControlRegistry& registry) {
  ConvertForm form;
  form.Load(registry);
  return !form.OKEnabled();
}

void SetPicture(HWND dialog, int id, HBITMAP bitmap) {
  ::SendDlgItemMessageW(dialog, id, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<DialogState*>(lparam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      Centre(dialog);
      state->form.Load(*state->registry);
      state->form.PickFromType(state->options->preselected_source);
      FillCombo(::GetDlgItem(dialog, Win32ConvertDialog::kFromCombo), state->form.FromCombo);
      FillCombo(::GetDlgItem(dialog, Win32ConvertDialog::kToCombo), state->form.ToCombo);
      ShowOKState(dialog, state->form);
      state->pictures[0] = GridPicture();
      state->pictures[1] = NotePicture();
      SetPicture(dialog, Win32ConvertDialog::kPicture1, state->pictures[0]);
      SetPicture(dialog, Win32ConvertDialog::kPicture2, state->pictures[1]);
      ::SetForegroundWindow(dialog);
      return TRUE;  // the focus goes to the first stop, FromCombo
    }
    case WM_COMMAND: {
      int id = LOWORD(wparam);
      if (HIWORD(wparam) == CBN_SELCHANGE &&
          (id == Win32ConvertDialog::kFromCombo || id == Win32ConvertDialog::kToCombo)) {
        int index = static_cast<int>(::SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
        if (id == Win32ConvertDialog::kFromCombo) {
          state->form.PickFrom(index);
        } else {
          state->form.PickTo(index);
        }
        ShowOKState(dialog, state->form);
        return TRUE;
      }
      if (id == IDOK) {
        if (state->form.OK()) ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (id == IDCANCEL) {  // the button, Esc, and the window's Close
        state->form.Cancel();
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    case WM_DESTROY:
      if (state) {
        for (HBITMAP& picture : state->pictures) {
          if (picture) ::DeleteObject(picture);
          picture = nullptr;
        }
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

Win32ConvertDialog::Options Win32ConvertDialog::CommandLineOptions(int16_t detected_source) {
  return {ConvertForm::kCommandLineNote, detected_source, true};
}

void Win32ConvertDialog::ShowModal(int16_t* from_type, int16_t* to_type) {
  // The reason gets a row of its own above the buttons, only when the lists
  // will leave OK disabled: the add-in's layout is kept otherwise.
  bool explains = options_.explain_disabled_ok && LeavesOKDisabled(registry_);
  short reason_row = explains ? 22 : 0;
  std::string note = options_.note.empty() ? ConvertForm::kLabel2 : options_.note;

  // The tab order is the order of the controls: the labels lead to the lists
  // after them (their access keys), then OK and Cancel.
  DialogTemplate layout(ConvertForm::kCaption, 262, static_cast<short>(140 + reason_row));
  constexpr DWORD kList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
  layout.Control(kStaticClass, ConvertForm::kFromLabel, kFromLabel, SS_LEFT, 40, 40, 100, 9);
  layout.Control(kComboClass, "", kFromCombo, kList, 40, 51, 100, 80);
  layout.Control(kStaticClass, ConvertForm::kToLabel, kToLabel, SS_LEFT, 152, 40, 100, 9);
  layout.Control(kComboClass, "", kToCombo, kList, 152, 51, 100, 80);
  short buttons_y = static_cast<short>(118 + reason_row);
  layout.Control(kButtonClass, ConvertForm::kOKButton, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 146,
                 buttons_y, 50, 14);
  layout.Control(kButtonClass, ConvertForm::kCancelButton, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP,
                 202, buttons_y, 50, 14);
  layout.Control(kStaticClass, ConvertForm::kLabel1, kLabel1, SS_LEFT | SS_NOPREFIX, 40, 10, 212,
                 24);
  layout.Control(kStaticClass, note, kLabel2, SS_LEFT | SS_NOPREFIX, 40, 76, 212, 32);
  layout.Control(kStaticClass, "", kPicture1, SS_BITMAP, 10, 10, 20, 20);
  layout.Control(kStaticClass, "", kPicture2, SS_BITMAP, 10, 76, 20, 20);
  if (explains)
    layout.Control(kStaticClass, "", kOKDisabledReason, SS_LEFT | SS_NOPREFIX, 40, 110, 212, 18);

  DialogState state{&registry_, &options_, {}, {}};
  ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), layout.get(), nullptr, DialogProc,
                            reinterpret_cast<LPARAM>(&state));
  *from_type = state.form.FromType;
  *to_type = state.form.ToType;
}

}  // namespace vireo

#include "host/win32/user_interface_win32.h"

#include "host/win32/windows_text.h"

namespace vireo {
namespace {

constexpr wchar_t kStatusClass[] = L"VireoMigrationStatus";
constexpr int kStatusWidth = 340;
constexpr int kStatusHeight = 90;

LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // The user cannot close it: the run hides it.
  if (message == WM_CLOSE) return 0;
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void RegisterStatusClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = StatusProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kStatusClass;
  registered = ::RegisterClassW(&window_class) != 0;
}

}  // namespace

void Win32UserInterface::MessageBox(const std::string& text, int style) {
  ::MessageBoxW(nullptr, Wide(text).c_str(), Wide(kProgramTitle).c_str(), static_cast<UINT>(style));
}

void Win32UserInterface::SetMousePointer(int pointer) {
  pointer_ = pointer;
  LPCWSTR shape = reinterpret_cast<LPCWSTR>(pointer == kHourglassPointer ? IDC_WAIT : IDC_ARROW);
  ::SetCursor(::LoadCursorW(nullptr, shape));
}

Win32StatusWindow::~Win32StatusWindow() {
  if (window_) ::DestroyWindow(window_);
}

void Win32StatusWindow::Show() {
  if (!window_) {
    RegisterStatusClass();
    RECT frame{0, 0, kStatusWidth, kStatusHeight};
    DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER;
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    window_ = ::CreateWindowExW(WS_EX_TOPMOST, kStatusClass, L"Status", style, left, top, width,
                                height, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    label_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, 12, 16,
                               kStatusWidth - 24, kStatusHeight - 24, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabel1)),
                               ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   FALSE);
  }
  ::ShowWindow(window_, SW_SHOWNOACTIVATE);
  ::UpdateWindow(window_);
}

void Win32StatusWindow::SetText(const std::string& text) {
  if (!label_) return;
  ::SetWindowTextW(label_, Wide(text).c_str());
  // The run does not return to the message loop between files.
  ::RedrawWindow(window_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32StatusWindow::Hide() {
  if (window_) ::ShowWindow(window_, SW_HIDE);
}

}  // namespace vireo

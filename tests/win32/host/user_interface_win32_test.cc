// The Win32 views: the convert dialog, message boxes, the Status window and
// the mouse pointer, driven from a test thread as a user would.
#include "host/win32/user_interface_win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "dialogs/convert_form.h"
#include "engine/catalogue/grid_catalogue.h"
#include "host/win32/windows_text.h"
#include "window_answerer.h"

namespace vireo {
namespace {

using testing::SeenWindow;
using testing::WindowAnswerer;
using testing::WindowText;

class RegisteredRows final : public ControlRegistry {
 public:
  explicit RegisteredRows(std::vector<int> rows) : rows_(std::move(rows)) {}
  bool KeyExists(const std::string& subkey) const override {
    for (int row : rows_) {
      if (subkey == "CLSID\\{" + GridCatalogue().Item(row).Item("CLSID_MsPlover").ToString() + "}")
        return true;
    }
    return false;
  }

 private:
  std::vector<int> rows_;
};

class Win32DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { FillGridCatalogue(); }
  WindowAnswerer answerer;
};

TEST_F(Win32DialogTest, TheDialogShowsTheRulesListsAndAnswersOK) {
  RegisteredRows registry({1, 2, 3, 4, 5, 6});
  Win32ConvertDialog dialog(registry);
  answerer.AnswerDialogs("Vireo Pro 5.0 for VB4 (Eval)", true);
  int16_t from = -1, to = -1;
  dialog.ShowModal(&from, &to);
  EXPECT_EQ(from, 6);
  EXPECT_EQ(to, 5);

  std::vector<SeenWindow> seen = answerer.TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  const SeenWindow& form = seen[0];
  EXPECT_EQ(form.kind, SeenWindow::kConvertDialog);
  EXPECT_EQ(form.caption, "Vireo Pro 5.0 Migration Utility");
  EXPECT_EQ(form.texts, (std::vector<std::string>{"Convert &From:", "&To:", ConvertForm::kLabel1,
                                                  ConvertForm::kLabel2, "OK", "Cancel"}));
  EXPECT_EQ(form.from_entries,
            (std::vector<std::string>{"Plover 1.0", "Vireo 4.0", "Vireo Standard 1.0",
                                      "Vireo Pro 5.0 for VB4 (Eval)"}));
  EXPECT_EQ(form.to_entries, std::vector<std::string>{"Vireo Pro 5.0 for VB4"});
  EXPECT_EQ(form.from_selected, "Plover 1.0");
  EXPECT_EQ(form.to_selected, "Vireo Pro 5.0 for VB4");
  EXPECT_TRUE(form.ok_enabled);
  EXPECT_TRUE(form.ok_is_default);
  EXPECT_EQ(form.tab_order, (std::vector<int>{Win32ConvertDialog::kFromCombo,
                                              Win32ConvertDialog::kToCombo, IDOK, IDCANCEL}));
  EXPECT_TRUE(form.centred);
}

TEST_F(Win32DialogTest, CancelLeavesNoChoice) {
  RegisteredRows registry({2, 5});
  Win32ConvertDialog dialog(registry);
  answerer.AnswerDialogs("", false);
  int16_t from = 2, to = 5;
  dialog.ShowModal(&from, &to);
  EXPECT_EQ(from, 0);
  EXPECT_EQ(to, 0);
  std::vector<SeenWindow> seen = answerer.TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].from_entries, std::vector<std::string>{"Vireo 4.0"});
}

TEST_F(Win32DialogTest, WithoutARegisteredSourceOKStaysDisabled) {
  RegisteredRows registry({5});
  Win32ConvertDialog dialog(registry);
  answerer.AnswerDialogs("", false);
  int16_t from = 0, to = 0;
  dialog.ShowModal(&from, &to);
  std::vector<SeenWindow> seen = answerer.TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].from_entries.empty());
  EXPECT_FALSE(seen[0].ok_enabled);
  EXPECT_EQ(from, 0);
}

TEST_F(Win32DialogTest, TheCommandLinesDialogShowsItsNoteAndSelectsTheProjectsLibrary) {
  RegisteredRows registry({1, 2, 3, 5, 6});
  Win32ConvertDialog dialog(registry, Win32ConvertDialog::CommandLineOptions(3));
  answerer.AnswerDialogs("", true);
  int16_t from = -1, to = -1;
  dialog.ShowModal(&from, &to);
  EXPECT_EQ(from, 3);
  EXPECT_EQ(to, 5);
  std::vector<SeenWindow> seen = answerer.TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  ASSERT_EQ(seen[0].texts.size(), 6u);
  EXPECT_EQ(seen[0].texts[3], ConvertForm::kCommandLineNote);
  EXPECT_EQ(seen[0].from_selected, "Vireo Standard 1.0");
  EXPECT_TRUE(seen[0].ok_enabled);
  EXPECT_EQ(seen[0].tab_order, (std::vector<int>{Win32ConvertDialog::kFromCombo,
                                                 Win32ConvertDialog::kToCombo, IDOK, IDCANCEL}));
}

TEST_F(Win32DialogTest, ALibraryTheListDoesNotOfferLeavesTheFirstSelected) {
  RegisteredRows registry({1, 3, 5});
  Win32ConvertDialog dialog(registry, Win32ConvertDialog::CommandLineOptions(2));
  answerer.AnswerDialogs("", true);
  int16_t from = -1, to = -1;
  dialog.ShowModal(&from, &to);
  EXPECT_EQ(from, 1);
  std::vector<SeenWindow> seen = answerer.TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].from_selected, "Plover 1.0");
}

// What a dialog showed that the answerer does not read: the line that says
// why OK is disabled.
struct ShownDialog {
  bool found = false;
  bool has_reason = false;
  std::string reason;
  std::string note;
  bool ok_enabled = true;
};

// Shows `dialog` and plays a user from a second thread, who reads it,
// presses OK all the same, then Cancel.
ShownDialog ShowAndAnswer(Win32ConvertDialog& dialog, int16_t* from, int16_t* to) {
  ShownDialog shown;
  std::thread user([&shown] {
    std::wstring title = Wide(kProgramTitle);
    HWND window = nullptr;
    for (int attempt = 0; attempt < 500 && !window; ++attempt) {
      HWND found = ::FindWindowW(L"#32770", title.c_str());
      if (found && ::IsWindowVisible(found)) window = found;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!window) return;
    shown.found = true;
    HWND reason = ::GetDlgItem(window, Win32ConvertDialog::kOKDisabledReason);
    shown.has_reason = reason != nullptr;
    if (reason) shown.reason = WindowText(reason);
    shown.note = WindowText(::GetDlgItem(window, Win32ConvertDialog::kLabel2));
    shown.ok_enabled = ::IsWindowEnabled(::GetDlgItem(window, IDOK));
    ::SendMessageW(window, WM_COMMAND, IDOK, 0);
    ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  });
  dialog.ShowModal(from, to);
  user.join();
  return shown;
}

class Win32DisabledOKTest : public ::testing::Test {
 protected:
  void SetUp() override { FillGridCatalogue(); }
};

TEST_F(Win32DisabledOKTest, TheCommandLinesDialogSaysWhyOKIsDisabled) {
  struct Case {
    std::vector<int> rows;
    const char* reason;
  };
  for (const Case& c : {Case{{}, "OK is disabled: no grid type is registered on this machine."},
                        Case{{5},
                             "OK is disabled: no source grid type is registered on this "
                             "machine."},
                        Case{{1, 2},
                             "OK is disabled: no target grid type is registered on this "
                             "machine."}}) {
    SCOPED_TRACE(c.reason);
    RegisteredRows registry(c.rows);
    Win32ConvertDialog dialog(registry, Win32ConvertDialog::CommandLineOptions(1));
    int16_t from = -1, to = -1;
    ShownDialog shown = ShowAndAnswer(dialog, &from, &to);
    ASSERT_TRUE(shown.found);
    EXPECT_TRUE(shown.has_reason);
    EXPECT_EQ(shown.reason, c.reason);
    EXPECT_EQ(shown.note, ConvertForm::kCommandLineNote);
    EXPECT_FALSE(shown.ok_enabled);
    EXPECT_EQ(from, 0) << "OK pressed while disabled chose nothing";
    EXPECT_EQ(to, 0);
  }
}

TEST_F(Win32DisabledOKTest, TheAddInsDialogKeepsItsNoteAndSaysNothingMore) {
  RegisteredRows registry({5});
  Win32ConvertDialog dialog(registry);
  int16_t from = -1, to = -1;
  ShownDialog shown = ShowAndAnswer(dialog, &from, &to);
  ASSERT_TRUE(shown.found);
  EXPECT_FALSE(shown.has_reason);
  EXPECT_EQ(shown.note, ConvertForm::kLabel2);
  EXPECT_FALSE(shown.ok_enabled);
  EXPECT_EQ(from, 0);
}

TEST_F(Win32DialogTest, MessageBoxesCarryTheTitleTheIconAndOneOKButton) {
  Win32UserInterface ui;
  ui.MessageBox(
      "The current project contains unsaved changes.\rPlease save the project, then retry.",
      kStyleWarning);
  ui.MessageBox("The current project was converted successfully.", kStyleInformation);
  std::vector<SeenWindow> seen = answerer.TakeSeen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].kind, SeenWindow::kMessageBox);
  EXPECT_EQ(seen[0].text,
            "The current project contains unsaved changes.\rPlease save the project, then retry.");
  EXPECT_EQ(seen[0].icon, "exclamation");
  EXPECT_EQ(seen[0].buttons, 1);
  EXPECT_EQ(seen[0].button_text, "OK");
  EXPECT_TRUE(seen[0].topmost);  // system-modal
  EXPECT_EQ(seen[1].text, "The current project was converted successfully.");
  EXPECT_EQ(seen[1].icon, "information");
  EXPECT_TRUE(seen[1].topmost);
}

TEST(Win32StatusWindow, ShowsEachTextAtOnceAndIsKeptWhenHidden) {
  Win32StatusWindow status;
  status.Show();
  HWND window = status.window();
  ASSERT_TRUE(window);
  EXPECT_EQ(WindowText(window), "Status");
  EXPECT_TRUE(::IsWindowVisible(window));
  HWND label = ::GetDlgItem(window, Win32StatusWindow::kLabel1);
  status.SetText(" Migrating frmMain...");
  EXPECT_EQ(WindowText(label), " Migrating frmMain...");
  status.SetText(" Migrating frmMain...\r\n  Done!");
  EXPECT_EQ(WindowText(label), " Migrating frmMain...\r\n  Done!");
  RECT frame;
  ::GetWindowRect(window, &frame);
  EXPECT_NEAR(frame.left, (::GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2, 1);
  status.Hide();
  EXPECT_FALSE(::IsWindowVisible(window));
  status.Show();
  EXPECT_EQ(status.window(), window);
  status.Hide();
}

TEST(Win32UserInterface, ElevenIsTheHourglass) {
  Win32UserInterface ui;
  EXPECT_EQ(ui.MousePointer(), 0);
  ui.SetMousePointer(kHourglassPointer);
  EXPECT_EQ(ui.MousePointer(), 11);
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
  ui.SetMousePointer(0);
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
}

}  // namespace
}  // namespace vireo

#include "cli/terminal_dialog.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "dialogs/convert_form.h"
#include "engine/catalogue/grid_catalogue.h"
#include "support/fake_registry.h"

namespace vireo {
namespace {

constexpr char kDown[] = "\x1b[B";
constexpr char kUp[] = "\x1b[A";

// Shows the dialog on the slave side of a pseudo-terminal, in its own
// thread, and plays the user on the master side.
class TerminalDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    ASSERT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(::tcgetattr(slave_, &before_), 0);
  }
  void TearDown() override {
    if (dialog_thread_.joinable()) {
      Type("\x03");  // a test that failed half-way: cancel so the thread ends
      Finish();
    }
    ::close(master_);
    ::close(slave_);
  }

  void Open() {
    dialog_thread_ = std::thread([this] {
      TerminalDialog dialog(registry, slave_, slave_);
      dialog.Preselect(preselect);
      dialog.ShowModal(&from_type, &to_type);
      done_ = true;
    });
  }

  void Type(const std::string& keys) {
    ASSERT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // Reads what the dialog draws until the latest screen, drawn whole (down
  // to its line of keys), contains `text`; returns that screen.
  std::string WaitForScreen(const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      size_t clear = output_.rfind("\x1b[2J");
      std::string screen = clear == std::string::npos ? "" : output_.substr(clear);
      bool whole = screen.find("Esc: Cancel") != std::string::npos;
      if (whole && screen.find(text) != std::string::npos) return screen;
      ReadSome(100);
    }
    ADD_FAILURE() << "no screen with \"" << text << "\" in:\n" << output_;
    return "";
  }

  // Lets the dialog close, draining what it still writes.
  void Finish() {
    while (!done_) ReadSome(20);
    dialog_thread_.join();
    ReadSome(20);
  }

  void ReadSome(int timeout_ms) {
    pollfd ready{master_, POLLIN, 0};
    if (::poll(&ready, 1, timeout_ms) <= 0) return;
    char buffer[4096];
    ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) output_.append(buffer, static_cast<size_t>(n));
  }

  testing::FakeRegistry registry;
  int16_t preselect = 0;
  int16_t from_type = -1;
  int16_t to_type = -1;
  int master_ = -1;
  int slave_ = -1;
  termios before_{};
  std::string output_;
  std::thread dialog_thread_;
  std::atomic<bool> done_ = false;
};

TEST_F(TerminalDialogTest, DrawsTheRegisteredTypesAndTheTexts) {
  for (int position : {1, 3, 5, 6}) registry.RegisterRow(position);
  Open();
  std::string screen = WaitForScreen("Cancel");
  EXPECT_NE(screen.find("Vireo Pro 5.0 Migration Utility"), std::string::npos);
  EXPECT_NE(screen.find("Specify the types of grid controls to be converted, then choose OK"),
            std::string::npos);
  EXPECT_NE(screen.find(ConvertForm::kCommandLineNote), std::string::npos);
  EXPECT_EQ(screen.find(ConvertForm::kLabel2), std::string::npos);
  size_t from = screen.find("Convert From:");
  size_t plover = screen.find("(*) Plover 1.0");
  size_t standard = screen.find("( ) Vireo Standard 1.0");
  size_t eval = screen.find("( ) Vireo Pro 5.0 for VB4 (Eval)");
  size_t to = screen.find("To:", eval);
  size_t target = screen.find("(*) Vireo Pro 5.0 for VB4\r");
  EXPECT_TRUE(from < plover && plover < standard && standard < eval && eval < to && to < target)
      << screen;
  EXPECT_EQ(screen.find("Vireo 4.0"), std::string::npos);
  EXPECT_NE(screen.find("[ OK ]"), std::string::npos);
  Type("c");
  Finish();
  EXPECT_EQ(from_type, 0);
  EXPECT_EQ(to_type, 0);
}

TEST_F(TerminalDialogTest, ChoosingASourceAndPressingEnterGivesTheTypes) {
  for (int position : {1, 2, 3, 5, 6}) registry.RegisterRow(position);
  Open();
  WaitForScreen("(*) Plover 1.0");
  Type(std::string(kDown) + kDown + kDown + kDown + kUp);  // the last Down stays at the end
  WaitForScreen("(*) Vireo Standard 1.0");
  Type("\t");
  WaitForScreen(" > To:");
  Type(kDown);  // only one target: nothing moves
  Type("\r");
  Finish();
  EXPECT_EQ(from_type, 3);
  EXPECT_EQ(to_type, 5);
}

TEST_F(TerminalDialogTest, TheEvalEntryGivesSix) {
  for (int position : {2, 5, 6}) registry.RegisterRow(position);
  Open();
  WaitForScreen("(*) Vireo 4.0");
  Type(kDown);
  WaitForScreen("(*) Vireo Pro 5.0 for VB4 (Eval)");
  Type("\n");
  Finish();
  EXPECT_EQ(from_type, 6);
  EXPECT_EQ(to_type, 5);
}

TEST_F(TerminalDialogTest, EscCancelsAndTheTerminalIsRestored) {
  registry.RegisterRow(1);
  registry.RegisterRow(5);
  Open();
  WaitForScreen("[ OK ]");
  termios during{};
  ASSERT_EQ(::tcgetattr(slave_, &during), 0);
  EXPECT_EQ(during.c_lflag & ICANON, 0u);
  Type("\x1b");
  Finish();
  EXPECT_EQ(from_type, 0);
  EXPECT_EQ(to_type, 0);
  termios after{};
  ASSERT_EQ(::tcgetattr(slave_, &after), 0);
  EXPECT_EQ(after.c_lflag, before_.c_lflag);
  EXPECT_EQ(after.c_iflag, before_.c_iflag);
}

TEST_F(TerminalDialogTest, WithNoSourceRegisteredEveryTypeIsOfferedAndSaidSo) {
  registry.RegisterRow(5);
  Open();
  std::string screen = WaitForScreen("registers none of the grid types of one list");
  EXPECT_EQ(screen.find("(none)"), std::string::npos);
  EXPECT_NE(screen.find("Vireo Standard 1.0"), std::string::npos);
  Type("\r");
  Finish();
  EXPECT_EQ(from_type, 1);
  EXPECT_EQ(to_type, 5);
}

TEST_F(TerminalDialogTest, TheDetectedSourceIsSelectedFirst) {
  registry.RegisterRow(1);
  registry.RegisterRow(3);
  registry.RegisterRow(5);
  preselect = 3;
  Open();
  WaitForScreen("(*) Vireo Standard 1.0");
  Type("\r");
  Finish();
  EXPECT_EQ(from_type, 3);
}

TEST_F(TerminalDialogTest, TheEndOfInputCancels) {
  registry.RegisterRow(1);
  registry.RegisterRow(5);
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  ::close(pipe_fds[1]);
  TerminalDialog dialog(registry, pipe_fds[0], slave_);
  std::thread drain([this] {
    for (int i = 0; i < 10; ++i) ReadSome(20);
  });
  dialog.ShowModal(&from_type, &to_type);
  drain.join();
  ::close(pipe_fds[0]);
  EXPECT_EQ(from_type, 0);
  EXPECT_EQ(to_type, 0);
}

}  // namespace
}  // namespace vireo

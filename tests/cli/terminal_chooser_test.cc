// The convert dialog of the built vireo-migrate, driven through a
// pseudo-terminal as a person at the keyboard would.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine/catalogue/grid_catalogue.h"
#include "support/frx_builder.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;

class TerminalChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    project.Write("M.bas", CrLf({"Dim S As VireoCore.StyleDisp"}));
    project.Write("P.vbp",
                  CrLf({"Module=M; M.bas",
                        "Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; VIRA32.OCX"}));
  }

  // Starts vireo-migrate on a new terminal.
  void Start() {
    std::fflush(nullptr);
    child_ = ::forkpty(&terminal_, nullptr, nullptr, nullptr);
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
      ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
      ::setenv("WINEPREFIX", "", 1);
      ::setenv("TERM", "xterm", 1);
      ::execl(VIREO_MIGRATE_BINARY, VIREO_MIGRATE_BINARY, "convert", project.path().c_str(),
              static_cast<char*>(nullptr));
      std::_Exit(127);
    }
  }
  // Reads the screen until `text` shows or five seconds pass.
  bool WaitFor(const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (screen_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd ready{terminal_, POLLIN, 0};
      if (::poll(&ready, 1, 100) <= 0) continue;
      char buffer[4096];
      ssize_t n = ::read(terminal_, buffer, sizeof buffer);
      if (n <= 0) return screen_.find(text) != std::string::npos;
      screen_.append(buffer, static_cast<size_t>(n));
    }
    return true;
  }
  void Type(const std::string& keys) {
    ASSERT_EQ(::write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  int Finish() {
    WaitFor("\x01never");  // drain what is left
    int status = 0;
    ::waitpid(child_, &status, 0);
    ::close(terminal_);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  testing::ScratchDir project, temp_dir;
  pid_t child_ = -1;
  int terminal_ = -1;
  std::string screen_;
};

TEST_F(TerminalChooserTest, ChoosingAndPressingEnterConverts) {
  Start();
  ASSERT_TRUE(WaitFor("unless you give --backup DIR.")) << screen_;
  EXPECT_EQ(screen_.find("add-in"), std::string::npos)
      << "the command line calls itself no add-in: " << screen_;
  EXPECT_TRUE(WaitFor("Vireo Pro 5.0 for VB4 (Eval)")) << screen_;
  EXPECT_NE(screen_.find("(*) Vireo 4.0"), std::string::npos)
      << "the library the project references is selected first: " << screen_;
  Type("\r");
  ASSERT_TRUE(WaitFor("converted successfully")) << screen_;
  EXPECT_EQ(Finish(), 0);
  EXPECT_EQ(testing::ReadFile(project.Join("M.bas")),
            CrLf({"'*** ORYX Migration Utility Code Change ***", "'Dim S As VireoCore.StyleDisp",
                  "Dim S As VireoCore45.StyleDisp"}));
}

TEST_F(TerminalChooserTest, EscapeCancelsSilently) {
  Start();
  ASSERT_TRUE(WaitFor("Vireo Pro 5.0 for VB4 (Eval)")) << screen_;
  Type("\x1b");
  EXPECT_EQ(Finish(), 4);
  EXPECT_EQ(screen_.find("converted successfully"), std::string::npos);
  EXPECT_EQ(testing::ReadFile(project.Join("M.bas")), CrLf({"Dim S As VireoCore.StyleDisp"}));
}

}  // namespace
}  // namespace vireo

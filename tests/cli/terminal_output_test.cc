// What the built vireo-migrate shows on a narrow terminal: a live line that
// never wraps and ends on the final counts, a table whose columns line up,
// reasons wrapped at spaces, and no file said done that a failure left as it was.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

#include "cli/console_ui.h"
#include "support/reference_lines.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;

constexpr unsigned short kColumns = 60;

struct TerminalRun {
  int status = -1;
  std::string screen;  // every byte written to the terminal
};

TerminalRun RunOnTerminal(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(VIREO_MIGRATE_BINARY)};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  winsize size{24, kColumns, 0, 0};
  int terminal = -1;
  std::fflush(nullptr);
  pid_t child = ::forkpty(&terminal, nullptr, nullptr, &size);
  if (child == 0) {
    ::setenv("WINEPREFIX", "", 1);
    ::setenv("TERM", "xterm", 1);
    ::execv(VIREO_MIGRATE_BINARY, argv.data());
    std::_Exit(127);
  }
  TerminalRun run;
  char buffer[4096];
  for (;;) {
    pollfd ready{terminal, POLLIN, 0};
    if (::poll(&ready, 1, 10000) <= 0) break;
    ssize_t n = ::read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;  // the child has gone: EIO
    run.screen.append(buffer, static_cast<size_t>(n));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(terminal);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The screen's lines, as the program wrote them (before the terminal wraps
// them), without colours; each live line drawn is a line of its own.
std::vector<std::string> Lines(const std::string& screen) {
  std::string plain = std::regex_replace(screen, std::regex("\033\\[[0-9;]*m"), "");
  plain = std::regex_replace(plain, std::regex("\r\n"), "\n");
  plain = std::regex_replace(plain, std::regex("\r\033\\[K"), "\n");
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = plain.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(plain.substr(start, end - start));
  return lines;
}

class TerminalOutputTest : public ::testing::Test {
 protected:
  void WriteProject(const std::string& path, const char* reference,
                    const char* module = testing::kDeclarationModule) {
    folder.Write(path + "/M.bas", module);
    folder.Write(path + "/P.vbp", CrLf({"Module=M; M.bas", reference}));
  }

  testing::ScratchDir folder;
};

TEST_F(TerminalOutputTest, ABatchFitsItsLiveLineTableAndReasonsToTheTerminal) {
  for (int i = 0; i < 3; ++i)
    WriteProject("a-folder-whose-name-alone-nearly-fills-a-terminal-line/p" + std::to_string(i),
                 testing::kVireo40Line);
  WriteProject("eval", "Object={3F6A907B-5C17-11D0-A3B8-0060974E21D5}#4.5#0; EVIR5_32.OCX",
               "Dim S As VireoCore45.StyleDisp\r\n");
  WriteProject("unknown", "Reference=*\\G{00020430-0000}#2.0#0#x#OLE", "Option Explicit\r\n");
  TerminalRun run = RunOnTerminal({"convert", "-r", "--jobs", "1", folder.path()});
  ASSERT_EQ(run.status, 2) << run.screen;
  std::vector<std::string> lines = Lines(run.screen);
  auto header = std::find_if(lines.begin(), lines.end(),
                             [](const std::string& line) { return line.rfind("Project", 0) == 0; });
  ASSERT_NE(header, lines.end()) << run.screen;
  // Before the table, the live line: never in the last column, ending on the final counts.
  std::vector<std::string> live(lines.begin(), header);
  for (const std::string& line : live) EXPECT_LT(DisplayColumns(line), kColumns) << line;
  std::smatch counts;
  ASSERT_TRUE(std::regex_search(live.back(), counts,
                                std::regex("^units 5/5, files ([0-9]+)/([0-9]+), .* s$")))
      << live.back();
  EXPECT_EQ(counts[1], counts[2]);
  EXPECT_EQ(counts[1], "5");
  // The table: each outcome where its heading is, each reason wrapped at spaces.
  size_t outcome_column = header->find("Outcome");
  std::string reasons;
  for (auto line = header + 1; line != lines.end() && line->find(" units: ") == std::string::npos;
       ++line) {
    if (line->rfind("    ", 0) == 0) {
      EXPECT_LT(DisplayColumns(*line), kColumns) << *line;
      reasons += line->substr(3);
      continue;
    }
    std::string outcome = line->substr(outcome_column, line->find("  ", outcome_column));
    EXPECT_TRUE(std::regex_match(outcome, std::regex("(converted|nothing to convert|skipped).*")))
        << *line;
  }
  EXPECT_NE(reasons.find(" it references Vireo Pro 5.0 for VB4 (Eval) (EVIR5_32.OCX)"),
            std::string::npos)
      << reasons;
  EXPECT_NE(reasons.find(" cannot tell which grid type it uses: name one with --from"),
            std::string::npos)
      << reasons;
}

TEST_F(TerminalOutputTest, ARunThatFailsAfterConvertingFilesSaysNoneDone) {
  folder.Write("A.bas", "Dim S As VireoCore.StyleDisp\r\n");
  folder.Write("Util.bas", "Dim S As VireoCore.StyleDisp _\r\n");
  folder.Write("P.vbp", CrLf({"Module=A; A.bas", "Module=Util; Util.bas", testing::kVireo40Line}));
  TerminalRun failed = RunOnTerminal({"convert", "--from", "2", folder.path()});
  EXPECT_EQ(failed.status, 1) << failed.screen;
  EXPECT_NE(failed.screen.find("Migrating A.bas..."), std::string::npos) << failed.screen;
  EXPECT_EQ(failed.screen.find("Done!"), std::string::npos) << failed.screen;

  folder.Write("Util.bas", "Dim S As VireoCore.StyleDisp\r\n");
  TerminalRun converted = RunOnTerminal({"convert", "--from", "2", folder.path()});
  EXPECT_EQ(converted.status, 0) << converted.screen;
  EXPECT_NE(converted.screen.find(" Migrating A.bas...\r\n  Done!\r\n Migrating Util.bas...\r\n"
                                  "  Done!\r\nThe current project was converted successfully."),
            std::string::npos)
      << converted.screen;
}

}  // namespace
}  // namespace vireo

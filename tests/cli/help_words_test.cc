// The help in each machine's words: the Windows help (which the Windows
// README.txt quotes) names no Wine, and what FullHelp gives is what the
// program prints, so the README cannot say other than --help.
#include <gtest/gtest.h>

#include "cli/app.h"
#include "support/run_program.h"

namespace vireo {
namespace {

const std::vector<std::vector<std::string>> kHelpArguments = {
    {"--help"},          {"convert", "--help"}, {"scan", "--help"}, {"recover", "--help"},
    {"types", "--help"}, {"register", "--help"}};

TEST(FullHelp, IsWhatTheProgramPrintsForEachCommand) {
  std::string printed;
  for (const auto& arguments : kHelpArguments) {
    testing::ProgramRun run = testing::RunProgram(VIREO_MIGRATE_BINARY, arguments);
    ASSERT_EQ(run.status, 0);
    printed += run.out + "\n";
  }
  EXPECT_EQ(FullHelp(kWineWords), printed);
}

TEST(FullHelp, WindowsWordsNameTheWindowsRegistryAndFolderAndNoWine) {
  std::string help = FullHelp(kWindowsWords);
  EXPECT_EQ(help.find("Wine"), std::string::npos) << help;
  EXPECT_EQ(help.find("wine"), std::string::npos) << help;
  EXPECT_NE(help.find("List the add-in in VB.INI in the Windows folder"), std::string::npos);
  EXPECT_NE(help.find("the Windows registry registers no grid type"), std::string::npos);
  // The batch options are there too.
  for (const char* option : {"--recursive", "--jobs", "--junit", "--verbose", "--codepage"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(FullHelp, LinuxWordsKeepThePrefixOption) {
  std::string help = FullHelp(kWineWords);
  EXPECT_NE(help.find("--wine-prefix"), std::string::npos);
  EXPECT_NE(help.find("List the add-in in the Wine prefix's VB.INI"), std::string::npos);
}

}  // namespace
}  // namespace vireo

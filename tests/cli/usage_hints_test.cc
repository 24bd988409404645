#include "cli/usage_hints.h"

#include <gtest/gtest.h>

namespace vireo {
namespace {

TEST(UsageHintsTest, NumbersAreWholeAndInTheirRange) {
  struct Case {
    const char* text;
    bool ok;
  };
  for (const Case& c : {Case{"1", true}, Case{"1024", true}, Case{"0", false}, Case{"1025", false},
                        Case{"-3", false}, Case{"2.5", false}, Case{"", false}, Case{"4x", false},
                        Case{" 4", false}, Case{"99999999999999999999999", false}}) {
    int value = -1;
    std::string problem;
    EXPECT_EQ(ParseWholeNumber("--jobs", c.text, 1, 1024, &value, &problem), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, std::stoi(c.text));
    } else {
      EXPECT_EQ(problem.rfind("--jobs must be a whole number from 1 to 1024 (not ", 0), 0u)
          << problem;
    }
  }
}

TEST(UsageHintsTest, AMisspeltWordIsAnsweredWithTheNearestOne) {
  std::vector<CommandWords> commands = {
      {"convert", {"--dry-run", "--from", "--report", "-r", "-q"}, {"--from", "--report"}},
      {"recover", {"--discard", "-r"}, {}},
      {"types", {"--wine-prefix"}, {"--wine-prefix"}}};
  auto problem = [&](std::vector<std::string> args) {
    return UnknownWordProblem(args, commands, {"--help", "--version"});
  };
  EXPECT_EQ(problem({"conver", "P.vbp"}), "unknown command 'conver'; did you mean 'convert'?");
  EXPECT_EQ(problem({"Recover"}), "unknown command 'Recover'; did you mean 'recover'?");
  EXPECT_EQ(problem({"frobnicate"}),
            "unknown command 'frobnicate' (the commands are convert, recover, types)");
  EXPECT_EQ(problem({"convert", "--dryrun", "P.vbp"}),
            "unknown option '--dryrun'; did you mean '--dry-run'?");
  EXPECT_EQ(problem({"convert", "--repot=x.json", "P.vbp"}),
            "unknown option '--repot'; did you mean '--report'?");
  EXPECT_EQ(problem({"convert", "-rx", "P.vbp"}), "unknown option '-x'; did you mean '-r'?");
  EXPECT_EQ(problem({"recover", "--dry-run"}),
            "unknown option '--dry-run' (the options are --help, --version, --discard, -r)")
      << "only the options of the command given, and none near enough";
  EXPECT_EQ(problem({"convert", "--from", "-weird-name", "P.vbp"}), "")
      << "an option's value is no option";
  EXPECT_EQ(problem({"convert", "-r", "-q", "--", "-P.vbp"}), "");
  EXPECT_EQ(problem({"--version"}), "");
  EXPECT_EQ(problem({"Inventory.VBP"}),
            "unknown command 'Inventory.VBP'; to convert it: vireo-migrate convert Inventory.VBP")
      << "the command forgotten";
  EXPECT_EQ(problem({"apps/inventory"}),
            "unknown command 'apps/inventory'; to convert it: vireo-migrate convert "
            "apps/inventory");
}

}  // namespace
}  // namespace vireo

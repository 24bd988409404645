#include "host/posix/path_resolver_posix.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vireo {
namespace {

// A backslash is an ordinary character in a POSIX folder name. "Old\VB4" sits
// beside "Old/VB4", which a resolver turning the folder's backslashes would
// wrongly pick.
class PosixPathResolverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root.Write("Old/VB4/M.bas", "decoy");
    root.Write("Old/VB4/Sub/N.bas", "decoy");
    root.Write("Old\\VB4/M.bas", "");
    root.Write("Old\\VB4/Sub/N.bas", "");
  }
  testing::ScratchDir root;
  std::string folder = root.Join("Old\\VB4/");
  PosixPathResolver resolver;
};

TEST_F(PosixPathResolverTest, TheProjectFolderIsTakenAsItIs) {
  EXPECT_EQ(resolver.Resolve(folder, "M.bas"), folder + "M.bas");
  EXPECT_EQ(resolver.Resolve(folder, "m.BAS"), folder + "M.bas");
  EXPECT_EQ(resolver.Resolve(folder, "Sub\\N.bas"), folder + "Sub/N.bas");
  EXPECT_EQ(resolver.Resolve(folder, "SUB\\n.bas"), folder + "Sub/N.bas");
}

TEST_F(PosixPathResolverTest, ANameNotFoundKeepsTheFolderAndTheListedPath) {
  EXPECT_EQ(resolver.Resolve(folder, "Gone\\X.bas"), folder + "Gone/X.bas");
  EXPECT_EQ(resolver.Resolve(root.Join("No\\Such/"), "M.bas"), root.Join("No\\Such/M.bas"));
}

// VB wrote the names in Windows-1252 (or the code page named); the disk has
// them in UTF-8, as Wine and git leave them.
class CodePageLookupTest : public ::testing::Test {
 protected:
  testing::ScratchDir root;
  std::string folder = root.path() + "/";
  PosixPathResolver western;
};

TEST_F(CodePageLookupTest, ANameIsFoundUnderItsUtf8Spelling) {
  root.Write("Café.bas", "");
  EXPECT_EQ(western.Resolve(folder, "Caf\xE9.bas"), folder + "Café.bas");
  EXPECT_EQ(western.Resolve(folder, "caf\xE9.BAS"), folder + "Café.bas");
}

TEST_F(CodePageLookupTest, TheBytesAsWrittenComeFirst) {
  root.Write("Café.bas", "");
  root.Write("caf\xE9.bas", "");
  EXPECT_EQ(western.Resolve(folder, "Caf\xE9.bas"), folder + "caf\xE9.bas");
  EXPECT_EQ(western.Resolve(folder, "Café.bas"), folder + "Café.bas");
  EXPECT_EQ(PosixPathResolver("", 0).Resolve(folder, "CAF\xC9.bas"), folder + "CAF\xC9.bas")
      << "without a code page the bytes are all there is";
}

TEST_F(CodePageLookupTest, Latin1LettersMatchIgnoringCaseButNotTheMultiplicationSign) {
  root.Write("café.bas", "");
  root.Write("a÷b.bas", "");
  root.Write("ÞORN.bas", "");
  EXPECT_EQ(western.Resolve(folder, "CAF\xC9.BAS"), folder + "café.bas");
  EXPECT_EQ(western.Resolve(folder, "\xFEorn.bas"), folder + "ÞORN.bas");
  EXPECT_EQ(western.Resolve(folder,
                            "A\xD7"
                            "B.bas"),
            folder + "A×B.bas")
      << "× is no ÷";
}

TEST_F(CodePageLookupTest, FolderComponentsAreLookedUpAlike) {
  root.Write("Données/Écran/M.bas", "");
  EXPECT_EQ(western.Resolve(folder,
                            "Donn\xE9"
                            "es\\\xC9"
                            "cran\\M.bas"),
            folder + "Données/Écran/M.bas");
  EXPECT_EQ(western.Resolve(folder,
                            "DONN\xC9"
                            "ES\\\xE9"
                            "CRAN\\m.bas"),
            folder + "Données/Écran/M.bas");
}

TEST_F(CodePageLookupTest, DriveLettersLeadIntoThePrefixAlike) {
  root.Write("prefix/dosdevices/c:/Projets/Café.bas", "");
  PosixPathResolver resolver(root.Join("prefix"));
  EXPECT_EQ(resolver.Resolve(folder, "C:\\PROJETS\\CAF\xC9.BAS"),
            root.Join("prefix/dosdevices/c:/Projets/Café.bas"));
}

TEST_F(CodePageLookupTest, AnotherCodePageSpellsOtherLetters) {
  root.Write("Отчёт.bas", "");
  const std::string listed = "\xCE\xF2\xF7\xB8\xF2.bas";  // Windows-1251
  EXPECT_EQ(PosixPathResolver("", 1251).Resolve(folder, listed), folder + "Отчёт.bas");
  EXPECT_NE(western.Resolve(folder, listed), folder + "Отчёт.bas");
}

TEST_F(CodePageLookupTest, ANameNotFoundComesBackInUtf8ButTheFolderAsItIs) {
  root.Write("Proj\xE9/M.bas", "");
  std::string raw_folder = root.Join("Proj\xE9/");
  EXPECT_EQ(western.Resolve(raw_folder, "M.bas"), raw_folder + "M.bas");
  EXPECT_EQ(western.Resolve(raw_folder, "Gone\\Caf\xE9\x81.bas"),
            raw_folder + "Gone/Caf\xC3\xA9\xC2\x81.bas");
  EXPECT_EQ(PosixPathResolver("", 1251).Resolve(folder, "\xCE\xF2.bas"), folder + "От.bas");
}

}  // namespace
}  // namespace vireo

// Names outside the ANSI code page: project files list them as bytes in the
// project's code page, the program holds them in UTF-8, and the file seam
// reaches them through the wide functions whatever the machine's code page.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/file_system.h"
#include "base/path_text.h"
#include "host/win32/path_resolver_win32.h"
#include "host/win32/windows_text.h"
#include "scratch_folder.h"

namespace vireo {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

FileSystem& Fs() { return PlatformFileSystem(); }

// "Μονάδα.bas" as a Greek (Windows-1253) machine writes it into a project.
constexpr char kGreekListed[] = "\xCC\xEF\xED\xDC\xE4\xE1.bas";
constexpr char kGreekUtf8[] = "\xCE\x9C\xCE\xBF\xCE\xBD\xCE\xAC\xCE\xB4\xCE\xB1.bas";
constexpr wchar_t kGreekWide[] = L"\x039C\x03BF\x03BD\x03AC\x03B4\x03B1.bas";

TEST(WindowsText, Utf8RoundTripsThroughUtf16) {
  std::string clef = "G \xF0\x9D\x84\x9E clef, \xC3\xA9t\xC3\xA9";
  EXPECT_EQ(Wide(clef), std::wstring(L"G \xD834\xDD1E clef, \x00E9t\x00E9"));
  EXPECT_EQ(Narrow(Wide(clef)), clef);
  EXPECT_EQ(Narrow(kGreekWide), kGreekUtf8);
}

TEST(WindowsText, BytesThatAreNoUtf8AreReadInTheAnsiCodePage) {
  std::wstring expected;
  ASSERT_TRUE(DecodeCodePage("Caf\xE9", CP_ACP, &expected));
  EXPECT_EQ(Wide("Caf\xE9"), expected);
}

TEST(WindowsText, DecodingSaysWhenTheBytesAreNoTextInTheCodePage) {
  std::wstring wide;
  EXPECT_TRUE(DecodeCodePage(kGreekListed, 1253, &wide));
  EXPECT_EQ(wide, kGreekWide);
  EXPECT_FALSE(DecodeCodePage("Mod\xFF", CP_UTF8, &wide));
  EXPECT_FALSE(DecodeCodePage("A\x82", 932, &wide)) << "a lead byte without its trail byte";
  EXPECT_TRUE(DecodeCodePage("", 932, &wide));
  EXPECT_EQ(wide, L"");
}

TEST(WindowsPathResolver, ListedNamesAreReadInTheProjectsCodePage) {
  WindowsPathResolver greek(1253);
  EXPECT_EQ(greek.Resolve("C:\\VB\\", kGreekListed), std::string("C:\\VB\\") + kGreekUtf8);
  EXPECT_EQ(greek.Resolve("C:\\VB\\", std::string("Mods/") + kGreekListed),
            std::string("C:\\VB\\Mods\\") + kGreekUtf8);
  // The same bytes in a Western project are other letters.
  EXPECT_EQ(WindowsPathResolver(1252).Resolve("C:\\VB\\", "Caf\xE9.bas"),
            "C:\\VB\\Caf\xC3\xA9.bas");
  // 0x5C, a backslash in ASCII, is the second byte of this Japanese letter.
  EXPECT_EQ(WindowsPathResolver(932).Resolve("C:\\VB\\", "\x95\x5C.bas"),
            "C:\\VB\\\xE8\xA1\xA8.bas");
}

TEST(WindowsPathResolver, WithoutACodePageNamesAreReadInTheAnsiOne) {
  std::wstring expected;
  ASSERT_TRUE(DecodeCodePage("Caf\xE9.bas", CP_ACP, &expected));
  EXPECT_EQ(WindowsPathResolver().Resolve("C:\\VB\\", "Caf\xE9.bas"),
            "C:\\VB\\" + Narrow(expected));
}

TEST(WindowsPathResolver, AByteThatIsNoLetterInTheCodePageIsSpeltOutAndNeverOpens) {
  ScratchFolder folder;
  std::string base = folder.path() + "\\";
  std::string bad = WindowsPathResolver(CP_UTF8).Resolve(base, "Mod\xFF\xC3\xA9.bas");
  EXPECT_EQ(bad, base + "Mod<byte FF not in code page 65001>\xC3\xA9.bas");
  PathStatus status;
  EXPECT_FALSE(Fs().Status(bad, &status));
  EXPECT_FALSE(status.exists);
  EXPECT_EQ(WindowsPathResolver(932).Resolve("", "Grid\x82"), "Grid<byte 82 not in code page 932>");
  EXPECT_EQ(WindowsPathResolver(CP_UTF8).Resolve("", "\xCC\xEF/a\xFF"),
            "<bytes CC EF not in code page 65001>\\a<byte FF not in code page 65001>");
}

// A folder whose name the ANSI code page cannot spell, with a Greek module
// in it made by the wide functions, as Explorer would make it.
class GreekFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(::CreateDirectoryW(Wide(greek_folder_).c_str(), nullptr));
    WriteBytes(greek_folder_ + "\\" + kGreekUtf8, "Attribute VB_Name = \"Greek\"\r\n");
  }

  ScratchFolder folder_;
  std::string greek_folder_ = folder_ / "\xCE\xA6\xCE\xAC\xCE\xBA\xCE\xB5\xCE\xBB\xCE\xBF\xCF\x82";
};

TEST_F(GreekFolderTest, TheResolvedNameOpensAndReads) {
  std::string path = WindowsPathResolver(1253).Resolve(greek_folder_ + "\\", kGreekListed);
  FileHandle file;
  ASSERT_FALSE(Fs().Open(path, OpenFor::kRead, &file));
  char buffer[64];
  size_t got = 0;
  EXPECT_FALSE(Fs().Read(file, buffer, sizeof buffer, &got));
  EXPECT_EQ(std::string(buffer, got), "Attribute VB_Name = \"Greek\"\r\n");
  Fs().Close(file);
  PathStatus status;
  ASSERT_FALSE(Fs().Status(path, &status));
  EXPECT_TRUE(status.exists && status.is_regular);
  EXPECT_NE(status.file_id, 0u) << "the file's identity is read through its name too";
}

TEST_F(GreekFolderTest, ListingStagingAndReplacingKeepTheName) {
  std::vector<std::string> names;
  ASSERT_FALSE(Fs().ListDirectory(greek_folder_, &names));
  EXPECT_EQ(names, std::vector<std::string>{kGreekUtf8});

  std::string original = greek_folder_ + "\\" + kGreekUtf8, copy;
  FileHandle file;
  ASSERT_FALSE(Fs().CreateSiblingFile(original, "vr5new", &copy, &file));
  EXPECT_EQ(copy.rfind(greek_folder_ + "\\." + kGreekUtf8 + ".vr5new", 0), 0u) << copy;
  ASSERT_FALSE(Fs().Write(file, "new", 3));
  ASSERT_FALSE(Fs().Close(file));
  FileHandle hold;
  ASSERT_FALSE(Fs().Hold(original, &hold));
  Fs().Close(hold);
  ASSERT_FALSE(Fs().Rename(copy, original));
  EXPECT_EQ(ReadBytes(original), "new");
  std::wstring on_disk = Wide(greek_folder_) + L"\\" + kGreekWide;
  EXPECT_NE(::GetFileAttributesW(on_disk.c_str()), INVALID_FILE_ATTRIBUTES);

  std::string real;
  ASSERT_FALSE(Fs().RealPath(original, &real));
  EXPECT_EQ(real.substr(real.size() - std::string(kGreekUtf8).size()), kGreekUtf8);
  std::string link = greek_folder_ + "\\\xCE\xB2.bas";
  if (!Fs().Link(original, link)) {
    EXPECT_EQ(ReadBytes(link), "new");
  }
  EXPECT_FALSE(Fs().Remove(original));
  EXPECT_EQ(::GetFileAttributesW(on_disk.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The command line's path handling goes through std::filesystem, which must
// get the UTF-16 name rather than the ANSI code page's reading of the bytes.
TEST_F(GreekFolderTest, StdFilesystemGetsAndGivesTheNameInUtf8) {
  std::filesystem::path folder = NativePath(greek_folder_);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  std::error_code error;
  std::filesystem::directory_iterator entry(folder, error);
  ASSERT_FALSE(error);
  EXPECT_EQ(PathText(entry->path().filename()), kGreekUtf8);
  EXPECT_EQ(PathText(std::filesystem::absolute(folder / NativePath(kGreekUtf8))),
            greek_folder_ + "\\" + kGreekUtf8);
  EXPECT_EQ(NativePath(kGreekUtf8).native(), kGreekWide);
}

// Temporary files (a dry run's copies) go where TMP says, Greek or not.
TEST_F(GreekFolderTest, TheTemporaryFolderMayHaveAnyName) {
  wchar_t saved[MAX_PATH + 1] = {};
  DWORD saved_length = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH + 1);
  ::SetEnvironmentVariableW(L"TMP", Wide(greek_folder_).c_str());
  std::string directory, path;
  FileHandle file;
  std::error_code got_directory = Fs().TempDirectory(&directory);
  std::error_code made = Fs().CreateTempFile(directory, "vr5", &path, &file);
  ::SetEnvironmentVariableW(L"TMP", saved_length ? saved : nullptr);
  ASSERT_FALSE(got_directory);
  EXPECT_EQ(directory, greek_folder_ + "\\");
  ASSERT_FALSE(made);
  Fs().Close(file);
  EXPECT_EQ(path.rfind(greek_folder_ + "\\vr5", 0), 0u) << path;
  EXPECT_EQ(ReadBytes(path), "");
}

}  // namespace
}  // namespace vireo

// The Windows file seam, on a real (Wine) file system: the operations the
// converters, the commit and the run lock rely on.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/file_system.h"
#include "base/text.h"
#include "engine/project/commit.h"
#include "engine/project/file_result.h"
#include "scratch_folder.h"

namespace vireo {
namespace {

using testing::Exists;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

FileSystem& Fs() { return PlatformFileSystem(); }

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

std::string Read(FileHandle file, size_t size) {
  std::string buffer(size, '\0');
  size_t got = 0;
  EXPECT_FALSE(Fs().Read(file, buffer.data(), size, &got));
  return buffer.substr(0, got);
}

TEST(WindowsFileSystem, SequentialAndPositionedAccess) {
  ScratchFolder folder;
  std::string path = folder / "data.bin";
  FileHandle file;
  ASSERT_FALSE(Fs().Open(path, OpenFor::kCreateOrTruncate, &file));
  ASSERT_FALSE(Fs().Write(file, "hello\0world", 11));
  ASSERT_FALSE(Fs().Close(file));

  ASSERT_FALSE(Fs().Open(path, OpenFor::kReadWrite, &file));
  EXPECT_EQ(Read(file, 5), "hello");
  ASSERT_FALSE(Fs().WriteAt(file, 0, "J", 1));
  char buffer[16];
  size_t got = 0;
  ASSERT_FALSE(Fs().ReadAt(file, 6, buffer, 5, &got));
  EXPECT_EQ(std::string(buffer, got), "world");
  // The positioned calls leave the sequential position where it was.
  EXPECT_EQ(Read(file, 16), std::string("\0world", 6));
  EXPECT_EQ(Read(file, 16), "");
  ASSERT_FALSE(Fs().ReadAt(file, 9, buffer, 10, &got));
  EXPECT_EQ(std::string(buffer, got), "ld");
  ASSERT_FALSE(Fs().ReadAt(file, 50, buffer, 10, &got));
  EXPECT_EQ(got, 0u);
  uint64_t size = 0;
  ASSERT_FALSE(Fs().SizeOf(file, &size));
  EXPECT_EQ(size, 11u);
  EXPECT_FALSE(Fs().Sync(file));
  ASSERT_FALSE(Fs().Close(file));
  EXPECT_EQ(ReadBytes(path), std::string("Jello\0world", 11));

  // Truncating keeps nothing of the old content.
  ASSERT_FALSE(Fs().Open(path, OpenFor::kCreateOrTruncate, &file));
  ASSERT_FALSE(Fs().Write(file, "x", 1));
  ASSERT_FALSE(Fs().Close(file));
  EXPECT_EQ(ReadBytes(path), "x");
}

TEST(WindowsFileSystem, OpeningSaysWhatIsWrong) {
  ScratchFolder folder;
  FileHandle file;
  EXPECT_EQ(Fs().Open(folder / "missing.txt", OpenFor::kRead, &file),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(Fs().Open(folder / "no\\such\\folder.txt", OpenFor::kCreateOrTruncate, &file),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(Fs().Open(folder.path(), OpenFor::kRead, &file), std::errc::is_a_directory);
  WriteBytes(folder / "there.txt", "1");
  EXPECT_EQ(Fs().Open(folder / "there.txt", OpenFor::kCreateExclusive, &file),
            std::errc::file_exists);
  EXPECT_EQ(ReadBytes(folder / "there.txt"), "1");
  EXPECT_TRUE(Fs().Close(12345));
}

TEST(WindowsFileSystem, StatusListingAndRemoval) {
  ScratchFolder folder;
  PathStatus status;
  ASSERT_FALSE(Fs().Status(folder / "missing", &status));
  EXPECT_FALSE(status.exists);
  ASSERT_FALSE(Fs().Status(folder / "missing\\below", &status));
  EXPECT_FALSE(status.exists);

  WriteBytes(folder / "Main.frm", "12345");
  ASSERT_FALSE(Fs().Status(folder / "MAIN.FRM", &status));  // names ignore case
  EXPECT_TRUE(status.exists);
  EXPECT_FALSE(status.is_directory);
  EXPECT_EQ(status.size, 5u);
  EXPECT_EQ(status.permissions, 0644u);
  ASSERT_FALSE(Fs().Status(folder.path(), &status));
  EXPECT_TRUE(status.is_directory);
  EXPECT_TRUE(status.permissions & 0200);

  ::CreateDirectoryA((folder / "Sub").c_str(), nullptr);
  std::vector<std::string> names;
  ASSERT_FALSE(Fs().ListDirectory(folder.path(), &names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Main.frm", "Sub"}));
  ASSERT_FALSE(Fs().ListDirectory(folder.path() + "\\", &names));
  EXPECT_EQ(names.size(), 2u);
  EXPECT_TRUE(Fs().ListDirectory(folder / "missing", &names));

  EXPECT_FALSE(Fs().Remove(folder / "Main.frm"));
  EXPECT_FALSE(Exists(folder / "Main.frm"));
  EXPECT_EQ(Fs().Remove(folder / "Main.frm"), std::errc::no_such_file_or_directory);
}

TEST(WindowsFileSystem, TheOwnerWriteBitIsTheReadOnlyAttribute) {
  ScratchFolder folder;
  std::string path = folder / "Locked.bas";
  WriteBytes(path, "x");
  FileHandle file;
  ASSERT_FALSE(Fs().Open(path, OpenFor::kReadWrite, &file));
  ASSERT_FALSE(Fs().SetPermissions(file, 0444));
  ASSERT_FALSE(Fs().Close(file));
  EXPECT_TRUE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
  PathStatus status;
  ASSERT_FALSE(Fs().Status(path, &status));
  EXPECT_EQ(status.permissions, 0444u);

  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_FALSE(Fs().Open(path, OpenFor::kReadWrite, &file));
  ASSERT_FALSE(Fs().SetPermissions(file, 0600));
  ASSERT_FALSE(Fs().Close(file));
  EXPECT_FALSE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST(WindowsFileSystem, RenameReplacesTheTargetInOneStep) {
  ScratchFolder folder;
  WriteBytes(folder / "new", "new bytes");
  WriteBytes(folder / "old", "old bytes");
  EXPECT_FALSE(Fs().Rename(folder / "new", folder / "old"));
  EXPECT_EQ(ReadBytes(folder / "old"), "new bytes");
  EXPECT_FALSE(Exists(folder / "new"));
  EXPECT_EQ(Fs().Rename(folder / "new", folder / "old"), std::errc::no_such_file_or_directory);
  EXPECT_FALSE(Fs().SyncDirectory(folder.path()));

  // A file someone has open is either replaced whole (its reader keeps the
  // old bytes) or, as Windows does for some share modes, not at all: the
  // rename fails and leaves both files whole (the commit then rolls back).
  WriteBytes(folder / "newer", "newer bytes");
  FileHandle reader;
  ASSERT_FALSE(Fs().Open(folder / "old", OpenFor::kRead, &reader));
  bool replaced = !Fs().Rename(folder / "newer", folder / "old");
  EXPECT_EQ(Read(reader, 20), "new bytes");
  Fs().Close(reader);
  EXPECT_EQ(ReadBytes(folder / "old"), replaced ? "newer bytes" : "new bytes");
  EXPECT_EQ(ReadBytes(folder / "newer"), replaced ? "<missing>" : "newer bytes");
}

// The replacement takes the replaced file's attributes (ReplaceFileW).
TEST(WindowsFileSystem, ARenameOverAFileKeepsItsAttributes) {
  ScratchFolder folder;
  WriteBytes(folder / "new", "new bytes");
  WriteBytes(folder / "old", "old bytes");
  std::string old_path = folder / "old";
  ASSERT_TRUE(::SetFileAttributesA(old_path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(Fs().Rename(folder / "new", folder / "old"));
  EXPECT_EQ(ReadBytes(folder / "old"), "new bytes");
  EXPECT_TRUE(::GetFileAttributesA(old_path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  ::SetFileAttributesA(old_path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsFileSystem, TemporaryFilesAreNewVr5FilesInTheTempDirectory) {
  std::string directory;
  ASSERT_FALSE(Fs().TempDirectory(&directory));
  char expected[MAX_PATH];
  ::GetTempPathA(MAX_PATH, expected);
  EXPECT_EQ(directory, expected);

  std::string first, second;
  FileHandle first_file, second_file;
  ASSERT_FALSE(Fs().CreateTempFile(directory, "vr5", &first, &first_file));
  ASSERT_FALSE(Fs().CreateTempFile(directory, "vr5", &second, &second_file));
  EXPECT_FALSE(Fs().Write(first_file, "x", 1)) << "open for writing";
  Fs().Close(first_file);
  Fs().Close(second_file);
  EXPECT_NE(first, second);
  for (const std::string& path : {first, second}) {
    EXPECT_EQ(path.rfind(directory, 0), 0u) << path;
    EXPECT_TRUE(EqualsNoCase(BaseName(path).substr(0, 3), "vr5")) << path;
    EXPECT_EQ(ReadBytes(path), path == first ? "x" : "");
    ::DeleteFileA(path.c_str());
  }
  ScratchFolder folder;
  std::string third;
  FileHandle third_file;
  EXPECT_TRUE(Fs().CreateTempFile(folder / "missing", "vr5", &third, &third_file));
}

TEST(WindowsFileSystem, SiblingFilesAreNewFilesBesideTheOriginal) {
  ScratchFolder folder;
  std::string original = folder / "Main.frm";
  WriteBytes(original, "x");
  std::string a, b;
  FileHandle a_file, b_file;
  ASSERT_FALSE(Fs().CreateSiblingFile(original, "stage", &a, &a_file));
  ASSERT_FALSE(Fs().CreateSiblingFile(original, "stage", &b, &b_file));
  Fs().Close(a_file);
  Fs().Close(b_file);
  EXPECT_NE(a, b);
  for (const std::string& path : {a, b}) {
    EXPECT_EQ(path.rfind(folder / ".Main.frm.stage", 0), 0u) << path;
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(ReadBytes(path), "");
  }
  EXPECT_EQ(ReadBytes(original), "x");
  EXPECT_TRUE(Fs().CreateSiblingFile(folder / "missing\\Main.frm", "stage", &a, &a_file));
}

TEST(WindowsFileSystem, TheLockIsExclusiveAndGoesWithItsFile) {
  ScratchFolder folder;
  std::string path = folder / "Inventory.vbp.vr5lock";
  FileHandle lock, second;
  ASSERT_FALSE(Fs().Lock(path, &lock));
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(Fs().Lock(path, &second), std::errc::resource_unavailable_try_again);
  Fs().Unlock(path, lock);
  EXPECT_FALSE(Exists(path));
  ASSERT_FALSE(Fs().Lock(path, &second));
  Fs().Unlock(path, second);
}

TEST(WindowsFileSystem, TheCommitReplacesEveryOriginalOrNone) {
  ScratchFolder folder;
  WriteBytes(folder / "A.frm", "old a");
  WriteBytes(folder / "B.bas", "old b");
  WriteBytes(folder / "C.bas", "same");
  WriteBytes(folder / "tmp-a", "new a");
  WriteBytes(folder / "tmp-b", "new b");
  WriteBytes(folder / "tmp-c", "same");
  auto copy = [&](const char* original, const char* temp) {
    return StagedCopy{folder / original, folder / temp, false, std::nullopt};
  };
  std::vector<StagedCopy> run{copy("A.frm", "tmp-a"), copy("B.bas", "tmp-b"),
                              copy("C.bas", "tmp-c")};
  CommitJournal journal;
  journal.path = folder / "P.vbp.vr5journal";
  CommitOutcome outcome = CommitCopies(run, journal);
  EXPECT_TRUE(outcome.ok) << outcome.reason;
  EXPECT_EQ(outcome.replaced, 2);
  EXPECT_EQ(outcome.unchanged, 1);
  EXPECT_EQ(ReadBytes(folder / "A.frm"), "new a");
  EXPECT_EQ(ReadBytes(folder / "B.bas"), "new b");
  std::vector<std::string> names;
  Fs().ListDirectory(folder.path(), &names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"A.frm", "B.bas", "C.bas"}));
  EXPECT_TRUE(run.empty());

  // A read-only original stops the commit before anything is replaced.
  WriteBytes(folder / "tmp-a", "newer a");
  WriteBytes(folder / "tmp-b", "newer b");
  ::SetFileAttributesA((folder / "B.bas").c_str(), FILE_ATTRIBUTE_READONLY);
  run = {copy("A.frm", "tmp-a"), copy("B.bas", "tmp-b")};
  outcome = CommitCopies(run, journal);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.failed_file, folder / "B.bas");
  EXPECT_EQ(ReadBytes(folder / "A.frm"), "new a");
  EXPECT_EQ(ReadBytes(folder / "B.bas"), "new b");
  Fs().ListDirectory(folder.path(), &names);
  EXPECT_EQ(names.size(), 3u);
}

}  // namespace
}  // namespace vireo

#include "engine/forms/ole_blob.h"

#include <gtest/gtest.h>

#include "support/converter_work.h"
#include "support/frx_builder.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::GuidBytes;
using testing::LbRecord;
using testing::Record;

class OleBlobTest : public ::testing::Test {
 protected:
  void SetUp() override { FillGridCatalogue(); }
  int16_t Convert(const std::string& content, int32_t offset, int16_t from = 2, int16_t to = 5) {
    path = dir.Write("Form1.frx", content);
    return ConvertOleObjectBlob(*run, path, offset, from, to);
  }
  std::string Result() { return testing::ReadFile(path); }

  testing::ScratchDir dir;
  testing::ConverterWork work;
  std::unique_ptr<FileWork> run = work.Fresh();
  std::string path;
};

TEST_F(OleBlobTest, EveryOccurrenceAtAnyAlignmentIsReplaced) {
  std::string payload = "a" + GuidBytes(2, "CLSID_MsPlover") + "bc" +
                        GuidBytes(2, "CLSID_MsPlover") + GuidBytes(2, "IID_DVrStyle") + "z";
  std::string before = "HEAD", after = "TAIL";
  ASSERT_EQ(Convert(before + Record(payload) + after, 4), kChanged);
  std::string expected = "a" + GuidBytes(5, "CLSID_MsPlover") + "bc" +
                         GuidBytes(5, "CLSID_MsPlover") + GuidBytes(5, "IID_DVrStyle") + "z";
  EXPECT_EQ(Result(), before + Record(expected) + after);
  ASSERT_EQ(run->result.guid_replacements.size(), 3u);
  EXPECT_EQ(run->result.guid_replacements[0].role, "CLSID_MsPlover");
  EXPECT_EQ(run->result.guid_replacements[0].byte_offset, 4 + 12 + 1);
  EXPECT_EQ(run->result.guid_replacements[2].new_text, "7D4E5B32-1A2C-11CF-8E41-00805F2C6A19");
}

TEST_F(OleBlobTest, BytesOutsideThePayloadStayEvenWhenTheyHoldGuids) {
  std::string guid = GuidBytes(2, "CLSID_MsPlover");
  // The header padding and the bytes after the payload hold the GUID too.
  std::string content = guid + Record(guid, 6 + 16) + guid;
  content.replace(16 + 6, 16, guid);
  ASSERT_EQ(Convert(content, 16), kChanged);
  std::string expected = content;
  expected.replace(16 + 22, 16, GuidBytes(5, "CLSID_MsPlover"));
  EXPECT_EQ(Result(), expected);
}

TEST_F(OleBlobTest, OverlappingOccurrencesAreNotBothReplaced) {
  // A GUID whose last byte starts another copy: replaced once, left to right.
  std::string guid = GuidBytes(2, "IID_DVrSplit");
  std::string payload = guid + guid.substr(1);
  std::string doubled = guid + guid;
  ASSERT_EQ(Convert(Record(doubled), 0), kChanged);
  EXPECT_EQ(Result(), Record(GuidBytes(5, "IID_DVrSplit") + GuidBytes(5, "IID_DVrSplit")));
  ASSERT_EQ(Convert(Record(payload), 0), kChanged);
  EXPECT_EQ(Result(), Record(GuidBytes(5, "IID_DVrSplit") + guid.substr(1)));
}

TEST_F(OleBlobTest, APayloadWithoutSourceGuidsStaysByteIdentical) {
  std::string content = Record("plain data " + GuidBytes(5, "CLSID_MsPlover"));
  EXPECT_EQ(Convert(content, 0), kUnchanged);
  EXPECT_EQ(Result(), content);
}

TEST_F(OleBlobTest, DropDownGuidOfTheEvalVersion) {
  std::string content = Record(GuidBytes(6, "CLSID_VireoDrop"));
  EXPECT_EQ(Convert(content, 0, 6, 5), kChanged);
  EXPECT_EQ(Result(), Record(GuidBytes(5, "CLSID_VireoDrop")));
}

TEST_F(OleBlobTest, SameSourceAndTargetCountsAsChanged) {
  std::string content = Record(GuidBytes(5, "LIBID_MsPlover"));
  EXPECT_EQ(Convert(content, 0, 5, 5), kChanged);
  EXPECT_EQ(Result(), content);
}

TEST_F(OleBlobTest, AGuidWithoutCounterpartFailsAndLeavesTheFile) {
  std::string content = Record(GuidBytes(2, "CLSID_MsPlover") + GuidBytes(2, "CLSID_VireoDrop"));
  EXPECT_EQ(Convert(content, 0, 2, 1), kFailed);
  EXPECT_EQ(Result(), content);
  EXPECT_TRUE(run->result.guid_replacements.empty());
  EXPECT_NE(run->result.failure_reason.find("CLSID_VireoDrop"), std::string::npos);
}

TEST_F(OleBlobTest, MalformedRecordsFailWithoutTouchingTheFile) {
  struct Case {
    std::string content;
    int32_t offset;
    std::string says;
  };
  std::string guid = GuidBytes(2, "CLSID_MsPlover");
  const Case cases[] = {
      {Record(guid, 12, 0), 0, "payload length 0 is below 1"},
      {Record(guid, 12, -5), 0, "payload length -5 is below 1"},
      {Record(guid, 12, 17), 0, "past the end of the file"},
      {Record(guid, 5), 0, "header length 5 is below 6"},
      {Record(guid), 30, "header lies past the end"},
      {Record(guid), -1, "offset -1 is negative"},
      {"abc", 0, "header lies past the end"},
  };
  for (const Case& c : cases) {
    run->result.failure_reason.clear();
    EXPECT_EQ(Convert(c.content, c.offset), kFailed) << c.says;
    EXPECT_EQ(Result(), c.content);
    EXPECT_NE(run->result.failure_reason.find(c.says), std::string::npos)
        << run->result.failure_reason;
    EXPECT_NE(run->result.failure_reason.find("Form1.frx: the record at offset"),
              std::string::npos);
  }
}

TEST_F(OleBlobTest, AnLbRecordHasItsPayloadAfterTwentyFourBytes) {
  std::string guid = GuidBytes(2, "CLSID_MsPlover");
  std::string record = LbRecord("a" + guid + GuidBytes(2, "IID_DVrSplit"));
  // Extents that happen to hold a GUID are not payload.
  record.replace(8, 16, guid);
  std::string content = "HEAD" + record + guid;
  ASSERT_EQ(Convert(content, 4), kChanged) << run->result.failure_reason;
  std::string expected = content;
  expected.replace(4 + 24 + 1, 32, GuidBytes(5, "CLSID_MsPlover") + GuidBytes(5, "IID_DVrSplit"));
  EXPECT_EQ(Result(), expected);
  ASSERT_EQ(run->result.guid_replacements.size(), 2u);
  EXPECT_EQ(run->result.guid_replacements[0].record_offset, 4);
  EXPECT_EQ(run->result.guid_replacements[0].byte_offset, 4 + 24 + 1);
}

TEST_F(OleBlobTest, AnLbRecordMayEndAtTheLastByteOfTheFile) {
  std::string content = Record("first") + LbRecord(GuidBytes(6, "CLSID_VireoDrop"), 16, 7);
  ASSERT_EQ(Convert(content, 17, 6, 5), kChanged) << run->result.failure_reason;
  EXPECT_EQ(Result(), Record("first") + LbRecord(GuidBytes(5, "CLSID_VireoDrop"), 16, 7));
}

TEST_F(OleBlobTest, OnlyAnExactLbMarksTheNewLayout) {
  // H = 0x004C starts with "L"; "lb" is H = 0x626C, far past the end.
  std::string content = Record(GuidBytes(2, "CLSID_MsPlover"), 0x4C);
  ASSERT_EQ(content.substr(0, 2), std::string("L\0", 2));
  ASSERT_EQ(Convert(content, 0), kChanged) << run->result.failure_reason;
  EXPECT_EQ(Result(), Record(GuidBytes(5, "CLSID_MsPlover"), 0x4C));
  std::string lower = LbRecord(GuidBytes(2, "CLSID_MsPlover"));
  lower.replace(0, 2, "lb");
  EXPECT_EQ(Convert(lower, 0), kFailed);
  EXPECT_NE(run->result.failure_reason.find("past the end of the file"), std::string::npos)
      << run->result.failure_reason;
}

TEST_F(OleBlobTest, MalformedLbRecordsFailWithoutTouchingTheFile) {
  struct Case {
    std::string content;
    std::string says;
  };
  std::string guid = GuidBytes(2, "CLSID_MsPlover");
  const Case cases[] = {
      {LbRecord(guid, 0), "payload length 0 is below 1"},
      {LbRecord(guid, 17), "payload of 17 bytes ends at 41, past the end of the file (40 bytes)"},
      {LbRecord(guid, 0xFFFFFFFFu), "payload of 4294967295 bytes"},
      {LbRecord(guid).substr(0, 8), "past the end of the file (8 bytes)"},
      {LbRecord(guid).substr(0, 7), "its \"LB\" header lies past the end"},
      {"LB", "its \"LB\" header lies past the end"},
  };
  for (const Case& c : cases) {
    run = work.Fresh();
    EXPECT_EQ(Convert(c.content, 0), kFailed) << c.says;
    EXPECT_EQ(Result(), c.content);
    EXPECT_NE(run->result.failure_reason.find(c.says), std::string::npos)
        << run->result.failure_reason;
  }
}

// A payload too large to hold is converted window by window: GUIDs across a
// window's edge, at its first and last byte, doubled across an edge, and at
// the payload's end are replaced as in a small one.
TEST_F(OleBlobTest, ALargePayloadIsConvertedAsASmallOneIs) {
  constexpr size_t kWindow = 1 << 16;
  std::string plover = GuidBytes(2, "CLSID_MsPlover"), split = GuidBytes(2, "IID_DVrSplit");
  std::string payload(3 * kWindow * 8 + 5, 'x');
  std::string expected = payload;
  auto place = [&](size_t at, const std::string& from, const std::string& to) {
    payload.replace(at, 16, from);
    expected.replace(at, 16, to);
  };
  std::string new_plover = GuidBytes(5, "CLSID_MsPlover"), new_split = GuidBytes(5, "IID_DVrSplit");
  place(0, plover, new_plover);
  place(kWindow - 8, plover, new_plover);
  place(2 * kWindow, split, new_split);
  place(3 * kWindow - 16, split, new_split);
  place(5 * kWindow - 16, split, new_split);
  place(5 * kWindow, split, new_split);
  place(payload.size() - 16, plover, new_plover);
  // The last byte of one copy starting the next: only the first is replaced.
  std::string overlapped = split + split.substr(1);
  payload.replace(7 * kWindow - 10, overlapped.size(), overlapped);
  expected.replace(7 * kWindow - 10, overlapped.size(), new_split + split.substr(1));
  ASSERT_EQ(Convert("HEAD" + Record(payload) + "TAIL", 4), kChanged) << run->result.failure_reason;
  EXPECT_TRUE(Result() == "HEAD" + Record(expected) + "TAIL");
  const auto& log = run->result.guid_replacements;
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[0].role, "CLSID_MsPlover");
  EXPECT_EQ(log[2].byte_offset, static_cast<int64_t>(4 + 12 + payload.size() - 16));
  EXPECT_EQ(log[3].role, "IID_DVrSplit");
  EXPECT_EQ(log[3].byte_offset, static_cast<int64_t>(4 + 12 + 2 * kWindow));
}

TEST_F(OleBlobTest, ALargePayloadWithAGuidWithoutCounterpartIsLeftAsItWas) {
  std::string payload(2 << 20, 'x');
  payload.replace(100, 16, GuidBytes(2, "CLSID_MsPlover"));
  payload.replace(payload.size() - 16, 16, GuidBytes(2, "CLSID_VireoDrop"));
  std::string content = Record(payload);
  EXPECT_EQ(Convert(content, 0, 2, 1), kFailed);
  EXPECT_TRUE(Result() == content);
  EXPECT_TRUE(run->result.guid_replacements.empty());
  EXPECT_NE(run->result.failure_reason.find("CLSID_VireoDrop"), std::string::npos);
}

// A dry run that keeps no copies reads the records from the original, which
// stays as it was, and logs what converting a copy logs, small or large.
TEST_F(OleBlobTest, WithoutCopiesTheOriginalIsOnlyReadAndTheSameIsLogged) {
  std::string plover = GuidBytes(2, "CLSID_MsPlover"), split = GuidBytes(2, "IID_DVrSplit");
  for (size_t size : {size_t{200}, size_t{3} << 20}) {
    std::string payload(size, 'x');
    payload.replace(3, 16, split);
    payload.replace(size / 2 - 8, 16, plover);
    payload.replace(size / 2 + 8, 31, split + split.substr(1));
    payload.replace(size - 16, 16, split);
    std::string content = "HEAD" + Record(payload);
    run = work.Fresh();
    ASSERT_EQ(Convert(content, 4), kChanged) << run->result.failure_reason;
    // The same record named again finds what the first conversion left.
    EXPECT_EQ(ConvertOleObjectBlob(*run, path, 4, 2, 5), kUnchanged);
    std::vector<GuidReplacement> with_copy = run->result.guid_replacements;

    testing::ConverterWork counting;
    counting.staging().WriteNoCopies();
    auto counted = counting.Fresh();
    path = dir.Write("Form1.frx", content);
    ASSERT_EQ(ConvertOleObjectBlob(*counted, path, 4, 2, 5), kChanged);
    EXPECT_EQ(ConvertOleObjectBlob(*counted, path, 4, 2, 5), kUnchanged);
    EXPECT_TRUE(Result() == content);
    ASSERT_EQ(counted->result.guid_replacements.size(), with_copy.size()) << size;
    ASSERT_EQ(with_copy.size(), 4u);
    for (size_t i = 0; i < with_copy.size(); ++i) {
      EXPECT_EQ(counted->result.guid_replacements[i].byte_offset, with_copy[i].byte_offset);
      EXPECT_EQ(counted->result.guid_replacements[i].new_text, with_copy[i].new_text);
    }
  }
}

// A record whose header lies where an earlier record's GUID was replaced is
// read as the copy holds it, with or without a copy.
TEST_F(OleBlobTest, WithoutCopiesAHeaderIsReadAsTheCopyHoldsIt) {
  std::string payload =
      std::string(10, 'x') + GuidBytes(2, "CLSID_MsPlover") + std::string(40, 'y');
  std::string content = Record(payload) + std::string(100, 'z');
  const int32_t inside = 12 + 10;  // the second record starts at the GUID
  struct Outcome {
    int16_t first, second;
    std::string reason;
    size_t logged;
  };
  auto convert_both = [&](FileWork& work, const std::string& file) {
    Outcome outcome;
    outcome.first = ConvertOleObjectBlob(work, file, 0, 2, 5);
    outcome.second = ConvertOleObjectBlob(work, file, inside, 2, 5);
    outcome.reason = work.result.failure_reason;
    outcome.logged = work.result.guid_replacements.size();
    return outcome;
  };
  run = work.Fresh();
  Outcome copied = convert_both(*run, dir.Write("Copy.frx", content));
  testing::ConverterWork counting;
  counting.staging().WriteNoCopies();
  Outcome counted = convert_both(*counting.Fresh(), dir.Write("Original.frx", content));
  EXPECT_EQ(counted.first, copied.first);
  EXPECT_EQ(counted.second, copied.second);
  EXPECT_EQ(counted.reason.substr(counted.reason.find(':')),
            copied.reason.substr(copied.reason.find(':')));
  EXPECT_EQ(counted.logged, copied.logged);
  EXPECT_TRUE(testing::ReadFile(dir.Join("Original.frx")) == content);
}

TEST_F(OleBlobTest, AMissingFileFails) {
  EXPECT_EQ(ConvertOleObjectBlob(*run, dir.Join("none.frx"), 0, 2, 5), kFailed);
}

}  // namespace
}  // namespace vireo

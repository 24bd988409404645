#include "cli/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "engine/catalogue/grid_catalogue.h"
#include "support/faulty_file_system.h"
#include "support/test_files.h"

namespace vireo {
namespace {

TEST(JsonStringTest, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonString(""), "\"\"");
  EXPECT_EQ(JsonString("say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(JsonString("C:\\VB\\P.VBP"), "\"C:\\\\VB\\\\P.VBP\"");
  EXPECT_EQ(JsonString("a\rb\nc\td"), "\"a\\u000db\\u000ac\\u0009d\"");
  EXPECT_EQ(JsonString(std::string_view("\x00\x1f\x7f/", 4)), "\"\\u0000\\u001f\x7f/\"");
}

TEST(JsonStringTest, KeepsWellFormedUtf8) {
  EXPECT_EQ(JsonString("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
            "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"");
  EXPECT_EQ(JsonString("\xF4\x8F\xBF\xBF"), "\"\xF4\x8F\xBF\xBF\"");  // U+10FFFF
}

TEST(JsonStringTest, WritesOtherHighBytesAsTheirLatin1CodePoints) {
  EXPECT_EQ(JsonString("caf\xE9"), "\"caf\\u00e9\"");
  EXPECT_EQ(JsonString("\xC0\x80"), "\"\\u00c0\\u0080\"");                        // overlong
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\\u00ed\\u00a0\\u0080\"");             // surrogate
  EXPECT_EQ(JsonString("\xF4\x90\x80\x80"), "\"\\u00f4\\u0090\\u0080\\u0080\"");  // > U+10FFFF
  EXPECT_EQ(JsonString("\xE2\x82"), "\"\\u00e2\\u0082\"");                        // cut short
  EXPECT_EQ(JsonString("\xE2\x82x"), "\"\\u00e2\\u0082x\"");
  EXPECT_EQ(JsonString("\xFF\xC3\xA9"), "\"\\u00ff\xC3\xA9\"");
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    result.outcome = RunOutcome::kConverted;
    result.from_type = 2;
    result.to_type = 5;
    result.message = "Done.\rReload.";
    result.files = {{"form", "/p/Form1.frm", "/p/Form1.frx", kChanged, ""},
                    {"module", "/p/M\xE9.bas", "", kUnchanged, ""},
                    {"project", "/p/P.vbp", "", kChanged, ""}};
    result.changed_lines = {{"/p/Form1.frm", 2}, {"/p/P.vbp", 1}};
    result.guid_replacements = {{"/p/Form1.frx", 24, 40, "CLSID_A", "OLD", "NEW", "VB4"}};
    result.replaced = 3;
    result.unchanged = 1;
    result.leftovers = {"/tmp/vr5abc"};
    info.tool = "vireo-migrate";
    info.version = "1.0.0";
    info.exit_status = 0;
    info.duration_seconds = 1.25;
    info.type_name = [](int position) { return "Grid #" + std::to_string(position); };
  }

  RunResult result;
  ReportInfo info;
};

TEST_F(ReportTest, WholeReport) {
  std::string from_file = GridCatalogue().Item(2).OCXFileName();
  std::string to_file = GridCatalogue().Item(5).OCXFileName();
  EXPECT_EQ(ReportJson(result, info),
            "{\n"
            "  \"tool\": \"vireo-migrate\",\n"
            "  \"version\": \"1.0.0\",\n"
            "  \"dry_run\": false,\n"
            "  \"source\": {\n"
            "    \"position\": 2,\n"
            "    \"name\": \"Grid #2\",\n"
            "    \"control_file\": \"" +
                from_file +
                "\"\n"
                "  },\n"
                "  \"target\": {\n"
                "    \"position\": 5,\n"
                "    \"name\": \"Grid #5\",\n"
                "    \"control_file\": \"" +
                to_file +
                "\"\n"
                "  },\n"
                "  \"files\": [\n"
                "    {\n"
                "      \"kind\": \"form\",\n"
                "      \"path\": \"/p/Form1.frm\",\n"
                "      \"binary_path\": \"/p/Form1.frx\",\n"
                "      \"result\": \"changed\",\n"
                "      \"lines_changed\": 2,\n"
                "      \"guids_replaced\": [\n"
                "        {\n"
                "          \"file\": \"/p/Form1.frx\",\n"
                "          \"record_offset\": 24,\n"
                "          \"offset\": 40,\n"
                "          \"role\": \"CLSID_A\",\n"
                "          \"old\": \"OLD\",\n"
                "          \"new\": \"NEW\"\n"
                "        }\n"
                "      ]\n"
                "    },\n"
                "    {\n"
                "      \"kind\": \"module\",\n"
                "      \"path\": \"/p/M\\u00e9.bas\",\n"
                "      \"result\": \"unchanged\",\n"
                "      \"lines_changed\": 0,\n"
                "      \"guids_replaced\": []\n"
                "    },\n"
                "    {\n"
                "      \"kind\": \"project\",\n"
                "      \"path\": \"/p/P.vbp\",\n"
                "      \"result\": \"changed\",\n"
                "      \"lines_changed\": 1,\n"
                "      \"guids_replaced\": []\n"
                "    }\n"
                "  ],\n"
                "  \"outcome\": \"converted\",\n"
                "  \"message\": \"Done.\\u000dReload.\",\n"
                "  \"failure_reason\": \"\",\n"
                "  \"exit_status\": 0,\n"
                "  \"replaced\": 3,\n"
                "  \"unchanged\": 1,\n"
                "  \"leftovers\": [\n"
                "    \"/tmp/vr5abc\"\n"
                "  ],\n"
                "  \"outside_project\": [],\n"
                "  \"duration_seconds\": 1.250\n"
                "}\n");
}

TEST_F(ReportTest, ReadsBackAsJsonWithNamesNotInUtf8DecodedAsLatin1) {
  result.files[1].path = "/p/M\xE9 \"q\" \\ \x01.bas";
  result.leftovers = {"/tmp/\xC3\xA9\xFF"};
  nlohmann::json report = nlohmann::json::parse(ReportJson(result, info));
  EXPECT_EQ(report["files"][1]["path"], "/p/M\xC3\xA9 \"q\" \\ \x01.bas");
  EXPECT_EQ(report["leftovers"][0], "/tmp/\xC3\xA9\xC3\xBF");
  EXPECT_EQ(report["message"], "Done.\rReload.");
  EXPECT_EQ(report["source"]["position"], 2);
  EXPECT_EQ(report["duration_seconds"], 1.25);
  EXPECT_EQ(report["files"][2]["guids_replaced"], nlohmann::json::array());
}

TEST_F(ReportTest, TypeNamesAreTheOnesTheCommandLineShows) {
  info.type_name = nullptr;
  std::string json = ReportJson(result, info);
  EXPECT_NE(json.find("\"name\": \"Vireo 4.0\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"name\": \"Vireo Pro 5.0 for VB4\""), std::string::npos) << json;
}

TEST_F(ReportTest, CancelledRunHasNoTypesAndNoFiles) {
  RunResult cancelled;
  info.dry_run = true;
  info.exit_status = 4;
  info.duration_seconds = std::nan("");
  std::string json = ReportJson(cancelled, info);
  EXPECT_NE(json.find("\"dry_run\": true,"), std::string::npos);
  EXPECT_NE(json.find("\"source\": null,\n  \"target\": null,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"files\": [],"), std::string::npos);
  EXPECT_NE(json.find("\"outcome\": \"cancelled\","), std::string::npos);
  EXPECT_NE(json.find("\"exit_status\": 4,"), std::string::npos);
  EXPECT_NE(json.find("\"leftovers\": [],"), std::string::npos);
  EXPECT_NE(json.find("\"duration_seconds\": 0.000\n}"), std::string::npos) << json;
}

TEST_F(ReportTest, MissingFormsComeFirstWithTheKeysOfAnyFile) {
  info.missing_forms = {"/p/Gone.frm"};
  std::string json = ReportJson(result, info);
  EXPECT_NE(json.find("  \"files\": [\n"
                      "    {\n"
                      "      \"kind\": \"form\",\n"
                      "      \"path\": \"/p/Gone.frm\",\n"
                      "      \"result\": \"missing\",\n"
                      "      \"lines_changed\": 0,\n"
                      "      \"guids_replaced\": []\n"
                      "    },\n"
                      "    {\n"
                      "      \"kind\": \"form\",\n"
                      "      \"path\": \"/p/Form1.frm\",\n"),
            std::string::npos)
      << json;
}

TEST_F(ReportTest, FailureReasonIsEscapedAndTravelsWithTheFailedFile) {
  result.outcome = RunOutcome::kFailed;
  result.failure_reason = "/p/Form1.frx: the record at offset 24: bad \"size\"";
  result.files[0].result = kFailed;
  result.files[0].reason = result.failure_reason;
  std::string json = ReportJson(result, info);
  EXPECT_NE(json.find("\"result\": \"failed\",\n      \"reason\": \"/p/Form1.frx: the record"),
            std::string::npos)
      << json;
  EXPECT_EQ(json.find("\"reason\"", json.find("M\\u00e9.bas")), std::string::npos)
      << "no reason where nothing failed";
  EXPECT_NE(json.find("\"failure_reason\": \"/p/Form1.frx: the record at offset 24: bad "
                      "\\\"size\\\"\","),
            std::string::npos)
      << json;
}

TEST_F(ReportTest, WrittenThroughTheFileSeam) {
  testing::ScratchDir dir;
  std::string path = dir.Join("report.json");
  ASSERT_FALSE(WriteReportFile(path, result, info));
  EXPECT_EQ(testing::ReadFile(path), ReportJson(result, info));

  testing::FaultyFileSystem files;
  files.FailWhen("Open", "report.json", std::errc::no_space_on_device);
  ScopedFileSystem scoped(files);
  EXPECT_EQ(WriteReportFile(path, result, info), std::errc::no_space_on_device);
  EXPECT_EQ(files.failures(), 1);
}

}  // namespace
}  // namespace vireo

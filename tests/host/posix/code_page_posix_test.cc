#include "host/posix/code_page_posix.h"

#include <gtest/gtest.h>

namespace vireo {
namespace {

TEST(CodePage, TheWindowsCodePagesAreKnownAndANumberWithoutOneIsNot) {
  for (int code_page : {1250, 1251, 1252, 1253, 1254, 1257}) EXPECT_TRUE(KnownCodePage(code_page));
  EXPECT_FALSE(KnownCodePage(9999));
  EXPECT_FALSE(KnownCodePage(0));
  EXPECT_FALSE(KnownCodePage(-1252));
}

TEST(CodePage, Windows1252IsDecodedWithItsUndefinedBytesAsTheirOwnCodePoints) {
  EXPECT_EQ(CodePageToUtf8("Caf\xE9 \x80 \x9F", 1252), "Café € Ÿ");
  EXPECT_EQ(CodePageToUtf8("\x81\x8D\x8F\x90\x9D", 1252),
            "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
  EXPECT_EQ(CodePageToUtf8("\x81"
                           "a\x81",
                           1252),
            "\xC2\x81"
            "a\xC2\x81")
      << "decoding goes on after one";
  EXPECT_EQ(CodePageToUtf8("plain.bas", 1252), "plain.bas");
}

TEST(CodePage, OtherCodePagesSpellTheirOwnLetters) {
  EXPECT_EQ(CodePageToUtf8("\xCE\xF2\xF7\xB8\xF2", 1251), "Отчёт");
  EXPECT_EQ(CodePageToUtf8("\xA9\xE8", 1250), "©č");
  EXPECT_EQ(CodePageToUtf8("\xC1\xE8\xE2", 1253), "Αθβ");
  EXPECT_EQ(CodePageToUtf8("\xD0\xFD", 1254), "Ğı");
  EXPECT_EQ(CodePageToUtf8("\xC0\xE8", 1257), "Ąč");
  EXPECT_EQ(CodePageToUtf8("Caf\xE9", 9999), "Caf\xE9") << "an unknown code page changes nothing";
}

}  // namespace
}  // namespace vireo

#include "base/cp932.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace calvane {
namespace {

TEST(Cp932, ConvertsJapaneseTextBothWays) {
  // "エラー" in Shift-JIS: 83 47 83 89 81 5B.
  const std::string sjis = "\x83\x47\x83\x89\x81\x5b";
  EXPECT_EQ(Utf8ToCp932("エラー"), sjis);
  EXPECT_EQ(Cp932ToUtf8(sjis), "エラー");
  EXPECT_EQ(Cp932("確認"), "\x8a\x6d\x94\x46");
  EXPECT_EQ(Cp932("k0*x+1.5\r\n"), "k0*x+1.5\r\n");
  // Half-width katakana are single bytes in CP932.
  EXPECT_EQ(Utf8ToCp932("ｱ"), "\xb1");
}

TEST(Cp932, KeepsZeroBytesAndEmptyText) {
  EXPECT_EQ(Utf8ToCp932(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(Utf8ToCp932(""), "");
  EXPECT_EQ(Cp932ToUtf8(""), "");
}

// Text of bytes below 0x80 is copied as it stands; with one character beyond them it goes
// through the converter. Both must give the same bytes for every such byte, in both directions.
TEST(Cp932, AsciiTextIsConvertedAsTheConverterDoes) {
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  const std::string kanji_utf8 = "計";
  const std::string kanji_sjis = "\x8c\x76";
  ASSERT_EQ(Utf8ToCp932(kanji_utf8), kanji_sjis);
  EXPECT_EQ(Utf8ToCp932(ascii + kanji_utf8), ascii + kanji_sjis);
  EXPECT_EQ(Utf8ToCp932(ascii), ascii);
  EXPECT_EQ(Cp932ToUtf8(ascii + kanji_sjis), ascii + kanji_utf8);
  EXPECT_EQ(Cp932ToUtf8(ascii), ascii);
}

TEST(Cp932, RefusesWhatTheOtherEncodingCannotHold) {
  EXPECT_FALSE(Utf8ToCp932("\xf0\x9f\x98\x80").has_value()) << "an emoji has no CP932 form";
  EXPECT_FALSE(Utf8ToCp932("\xff").has_value()) << "not UTF-8";
  EXPECT_FALSE(Cp932ToUtf8("\x83").has_value()) << "a lead byte without its trail byte";
}

// Each thread keeps its own descriptors: a conversion that failed part-way leaves nothing behind
// for the next one, and threads converting at once each get their own texts.
TEST(Cp932, ConversionsAfterAFailureAndOnSeveralThreadsAreEachTheirOwn) {
  const std::string sjis = "\x83\x47\x83\x89\x81\x5b";
  EXPECT_FALSE(Cp932ToUtf8(sjis + "\x83").has_value());
  EXPECT_EQ(Cp932ToUtf8(sjis), "エラー");
  EXPECT_FALSE(Utf8ToCp932("エラー\xf0\x9f\x98\x80").has_value());
  EXPECT_EQ(Utf8ToCp932("エラー"), sjis);
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      const std::string utf8 = std::string(t % 2 == 0 ? "計算" : "エラー") + std::to_string(t);
      for (int i = 0; i < 500; ++i) {
        const std::optional<std::string> there = Utf8ToCp932(utf8);
        if (!there || Cp932ToUtf8(*there) != utf8) ++wrong[static_cast<std::size_t>(t)];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(Cp932, ConvertsLongTextsBeyondTheFirstBufferGuess) {
  std::string utf8;
  for (int i = 0; i < 3000; ++i) utf8 += "計算";
  std::optional<std::string> sjis = Utf8ToCp932(utf8);
  ASSERT_TRUE(sjis.has_value());
  EXPECT_EQ(sjis->size(), 3000u * 4u);
  EXPECT_EQ(Cp932ToUtf8(*sjis), utf8);
}

}  // namespace
}  // namespace calvane

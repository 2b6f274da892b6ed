#include "persistence/ini_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace persistence {
namespace {

struct Int32Case {
    const char* value;
    std::int32_t expected;
};

class ParseInt32Test : public ::testing::TestWithParam<Int32Case> {};

TEST_P(ParseInt32Test, ReadsSignedDecimalPrefixSaturatingAt32Bits) {
    EXPECT_EQ(ParseInt32(GetParam().value), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParseInt32Test,
    ::testing::Values(Int32Case{"", 0}, Int32Case{"abc", 0}, Int32Case{"-", 0}, Int32Case{"- 5", 0},
                      Int32Case{"12abc", 12}, Int32Case{" \t\v\f 9", 9}, Int32Case{"+7", 7},
                      Int32Case{"-7", -7}, Int32Case{"007", 7}, Int32Case{"1 2", 1},
                      Int32Case{"2147483647", 2147483647},
                      Int32Case{"-2147483648", std::numeric_limits<std::int32_t>::min()},
                      // Beyond 32 bits: the nearest limit, never a wrapped value.
                      Int32Case{"2147483648", 2147483647}, Int32Case{"4294967297", 2147483647},
                      Int32Case{"-2147483649", std::numeric_limits<std::int32_t>::min()},
                      Int32Case{"99999999999999999999", 2147483647}));

struct Int64Case {
    const char* value;
    std::int64_t expected;
};

class ParseInt64Test : public ::testing::TestWithParam<Int64Case> {};

TEST_P(ParseInt64Test, AccumulatesModulo2To64) {
    EXPECT_EQ(ParseInt64(GetParam().value), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParseInt64Test,
    ::testing::Values(Int64Case{"", 0}, Int64Case{"x1", 0}, Int64Case{" \t 42z", 42},
                      Int64Case{"+1441151928023931432", 1441151928023931432},
                      Int64Case{"-5692134055594401496", -5692134055594401496},
                      Int64Case{"12754610018115150120", -5692134055594401496},  // 2^64 - n
                      Int64Case{"18446744073709551615", -1}, Int64Case{"18446744073709551616", 0},
                      Int64Case{"9223372036854775808", std::numeric_limits<std::int64_t>::min()},
                      Int64Case{"-9223372036854775808", std::numeric_limits<std::int64_t>::min()}));

TEST(DecodeIniBytes, ByteOrderMarkMeansUtf8) {
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB\xBF\xD0\x9A\xD0\xBE\xD1\x82"), "\xD0\x9A\xD0\xBE\xD1\x82");
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB\xBF"), "");
}

TEST(DecodeIniBytes, WithoutByteOrderMarkEachByteIsLatin1) {
    // "Кот" in a Cyrillic 8-bit code page becomes three Latin-1 letters.
    EXPECT_EQ(DecodeIniBytes("a\xCA\xEE\xF2"), "a\xC3\x8A\xC3\xAE\xC3\xB2");
    // A mark cut short is two Latin-1 characters, not a mark.
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB"), "\xC3\xAF\xC2\xBB");
}

TEST(DecodeIniBytes, MalformedUtf8BecomesReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB\xBF"
                             "a\xFF"
                             "b"),
              "a" + fffd + "b");
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB\xBF\xD0"), fffd);                        // cut at the end
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB\xBF\xC0\xAF"), fffd + fffd);             // overlong "/"
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB\xBF\xED\xA0\x80"), fffd + fffd + fffd);  // surrogate
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB\xBF\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
}

TEST(ParseIni, LineEndsBlanksAndComments) {
    const IniFile ini = ParseIni("a=1\rb=2\nc=3\r\n\r\n  \t d = 4\n;e=5\n  ;f=6\ng");
    for (const auto& [key, value] : {std::pair{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}) {
        ASSERT_NE(FindKey(&ini.top, key), nullptr) << key;
        EXPECT_EQ(*FindKey(&ini.top, key), value);
    }
    EXPECT_EQ(FindKey(&ini.top, "e"), nullptr);
    EXPECT_EQ(FindKey(&ini.top, "f"), nullptr);
    ASSERT_NE(FindKey(&ini.top, "g"), nullptr);  // no "=": present and empty
    EXPECT_EQ(*FindKey(&ini.top, "g"), "");
}

TEST(ParseIni, KeyTrimmedRightValueTrimmedLeftOnly) {
    const IniFile ini = ParseIni("Key \t= \t a = b \t");
    ASSERT_NE(FindKey(&ini.top, "KEY"), nullptr);
    EXPECT_EQ(*FindKey(&ini.top, "key"), "a = b \t");
    EXPECT_EQ(ReadText(&ini.top, "Key", "x"), "a = b");
}

TEST(ParseIni, GroupNameEndsAtFirstBracketOrLineEnd) {
    const IniFile ini = ParseIni("[One] tail\na=1\n[Two\nb=2\n[Th]ree]\nc=3");
    EXPECT_EQ(ReadText(FindGroup(ini, "one"), "a", ""), "1");
    EXPECT_EQ(ReadText(FindGroup(ini, "TWO"), "b", ""), "2");
    EXPECT_EQ(ReadText(FindGroup(ini, "Th"), "c", ""), "3");
    EXPECT_EQ(FindGroup(ini, "Th]ree]"), nullptr);
}

TEST(ParseIni, FirstGroupAndFirstKeyWinAndSectionsDoNotLeak) {
    const IniFile ini = ParseIni("a=top\n[G]\na=1\na=2\n[H]\nb=3\n[g]\na=4\nc=5\n");
    EXPECT_EQ(ReadText(&ini.top, "a", ""), "top");
    EXPECT_EQ(ReadText(FindGroup(ini, "G"), "a", ""), "1");
    EXPECT_EQ(ReadText(FindGroup(ini, "G"), "c", "missing"), "missing");
    EXPECT_EQ(ReadText(&ini.top, "b", "missing"), "missing");
    EXPECT_EQ(ReadText(FindGroup(ini, "none"), "a", "missing"), "missing");
}

TEST(ParseIni, OnlyAsciiLettersFoldCase) {
    const IniFile ini = ParseIni("\xD0\x98\xD0\xBC\xD1\x8F=1\n");  // "Имя"
    EXPECT_NE(FindKey(&ini.top, "\xD0\x98\xD0\xBC\xD1\x8F"), nullptr);
    EXPECT_EQ(FindKey(&ini.top, "\xD0\xB8\xD0\xBC\xD1\x8F"), nullptr);  // "имя"
}

TEST(ReadValues, PresentButEmptyIsNotTheDefault) {
    const IniFile ini = ParseIni("t=\nn=   \n");
    EXPECT_EQ(ReadText(&ini.top, "t", "default"), "");
    EXPECT_EQ(ReadInt32(&ini.top, "n", 7), 0);
    EXPECT_EQ(ReadInt64(&ini.top, "n", 7), 0);
    EXPECT_EQ(ReadInt32(&ini.top, "missing", 7), 7);
    EXPECT_EQ(ReadInt64(&ini.top, "missing", 7), 7);
}

}  // namespace
}  // namespace persistence

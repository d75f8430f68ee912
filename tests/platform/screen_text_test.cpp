#include "platform/screen_text.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/texts.h"

TEST(ScreenText, ConvertsBothWays) {
    const std::string utf8 = "送信ｱﾄﾞﾚｽ\\a~";
    const std::string sjis =
        "\x91\x97\x90\x4D\xB1\xC4\xDE\xDA\xBD\x5C"
        "a~";
    EXPECT_EQ(platform::Utf8ToSjis(utf8), sjis);
    EXPECT_EQ(platform::SjisToUtf8(sjis), utf8);
}

TEST(ScreenText, InvalidShiftJisIsReplacedOrRefused) {
    EXPECT_EQ(platform::SjisToUtf8("a\x85\x40"
                                   "b"),
              "a\xEF\xBF\xBD@b");
    EXPECT_EQ(platform::SjisToUtf8("a\x95"), "a\xEF\xBF\xBD");  // cut double-byte character
    EXPECT_FALSE(platform::TrySjisToUtf8("a\x95").has_value());
    EXPECT_EQ(platform::TrySjisToUtf8("abc").value(), "abc");
}

TEST(ScreenText, TextWithoutShiftJisFormIsDetected) {
    EXPECT_TRUE(platform::CanEncodeSjis("日本語ﾃｽﾄ"));
    EXPECT_FALSE(platform::CanEncodeSjis("a\xF0\x9F\x98\x80"));  // emoji
    EXPECT_FALSE(platform::CanEncodeSjis("\xC3"));               // broken UTF-8
    EXPECT_EQ(platform::Utf8ToSjis("a\xF0\x9F\x98\x80z"), "a?z");
}

TEST(Texts, TableConvertsToShiftJis) {
    const auto& t = platform::texts();
    EXPECT_EQ(t.CopyPrefix, "\xBA\xCB\xDF\xB0");
    EXPECT_EQ(t.StandardMark, "\x81\x69\x95\x57\x8F\x80\x81\x6A");
    EXPECT_EQ(platform::SjisToUtf8(t.HeaderPlaceholder), "ヘッダー部");
    EXPECT_THROW(platform::Sjis(u8"\U0001F600"), platform::Error);
}

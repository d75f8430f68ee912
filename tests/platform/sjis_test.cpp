#include "platform/sjis.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace sjis = platform::sjis;

namespace {
// 表 = 0x95 0x5C (trail byte is "\"), ソ = 0x83 0x5C, ア = 0x83 0x41, ヂ = 0x83 0x61,
// 横 = 0x89 0xA1, ｱ = 0xB1 (single byte).
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";
const std::string kA = "\x83\x41";
const std::string kDi = "\x83\x61";
}  // namespace

TEST(Sjis, SeparatorsAreFoundOnlyAsWholeCharacters) {
    const std::string s = kHyo + "\\" + kSo + "/x" + kHyo;
    EXPECT_EQ(sjis::Find(s, '\\'), 2u);
    EXPECT_EQ(sjis::Find(s, '\\', 3), sjis::npos);
    EXPECT_EQ(sjis::RFind(s, '\\'), 2u);
    EXPECT_EQ(sjis::FindAnyOf(s, "\\/", 3), 5u);
    EXPECT_EQ(sjis::RFind(kHyo + kSo, '\\'), sjis::npos);
    EXPECT_EQ(sjis::ReplaceAll(s, '\\', '/'), kHyo + "/" + kSo + "/x" + kHyo);
    EXPECT_EQ(sjis::LastCharStart(s), s.size() - 2);
    EXPECT_FALSE(sjis::IsCharStart(s, 1));
    EXPECT_TRUE(sjis::IsCharStart(s, 2));
}

TEST(Sjis, LeadByteAtTheEndIsOneCharacter) {
    const std::string s = "a\x95";
    EXPECT_EQ(sjis::CharLength(s, 1), 1u);
    EXPECT_EQ(sjis::LastCharStart(s), 1u);
    EXPECT_EQ(sjis::Find("\x95", '\\'), sjis::npos);
    EXPECT_EQ(sjis::LastCharStart(""), sjis::npos);
}

TEST(Sjis, FoldTouchesOnlySingleByteLetters) {
    EXPECT_EQ(sjis::FoldCase("AbC" + kA + "Z\xB1"), "abc" + kA + "z\xB1");
    EXPECT_NE(sjis::CompareNoCase(kA, kDi), 0);
    EXPECT_TRUE(sjis::EqualNoCase("Office", "oFFICE"));
    EXPECT_FALSE(sjis::EqualNoCase("Office" + kA, "office" + kDi));
    EXPECT_LT(sjis::CompareNoCase("abc", "ABD"), 0);
    EXPECT_LT(sjis::CompareNoCase("ab", "AB,"), 0);
    EXPECT_GT(sjis::CompareNoCase("\x95", "a"), 0);  // unsigned byte order
}

// The allocation-free comparison must order exactly like comparing folded copies, whatever
// the bytes (lead bytes at odd places, trail bytes that look like letters).
TEST(Sjis, CompareAgreesWithFoldedByteOrderOnRandomText) {
    std::mt19937 rng(7);
    const std::string alphabet = std::string("aAzZ,\\") + "\x83\x41\x61\x95\x5C\xE0\xFC\xB1";
    auto pick = [&] {
        std::string s(rng() % 7, ' ');
        for (auto& c : s) c = alphabet[rng() % alphabet.size()];
        return s;
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (int i = 0; i < 20000; ++i) {
        // Half the pairs share a prefix, as neighbours in a sorted list do.
        const std::string a = pick();
        const std::string b = (i % 2 ? a.substr(0, rng() % (a.size() + 1)) : "") + pick();
        ASSERT_EQ(sign(sjis::CompareNoCase(a, b)),
                  sign(sjis::FoldCase(a).compare(sjis::FoldCase(b))))
            << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
    }
}

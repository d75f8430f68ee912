// Profile line format, password digits and the entry checks.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "settings/profile_store.h"

using settings::DecodePassword;
using settings::EncodePassword;
using settings::FormatProfileLine;
using settings::ParseProfileLine;
using settings::TSenderProfile;

namespace {
// 事務所 and 表示 (表 = 95 5C: its trail byte is "\").
const std::string kJimusho = "\x8E\x96\x96\xB1\x8F\x8A";
const std::string kHyoji = "\x95\x5C\x8E\xA6";

TSenderProfile Office() {
    return {"Office",
            "ftp.example.jp",
            "/public",
            "user",
            "abc",
            "http://www.example.jp/",
            "Taro",
            "taro@example.jp",
            "reply@example.jp",
            "smtp.example.jp",
            "1",
            "pop.example.jp",
            "taro",
            "p,w",
            "1",
            "\\data"};
}
}  // namespace

TEST(PasswordDigits, EncodeExamples) {
    EXPECT_EQ(EncodePassword("abc"), "058205880594");
    EXPECT_EQ(EncodePassword("\xA7"), "1002");
    EXPECT_EQ(EncodePassword(""), "");
    EXPECT_EQ(EncodePassword(kHyoji.substr(0, 2)), "08940552");  // one group per byte
    EXPECT_EQ(EncodePassword(std::string("\0\xFF", 2)), "00001530");
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(DecodePassword(EncodePassword(all)), all);
    EXPECT_TRUE(settings::IsWellFormedPassword(EncodePassword(all)));
}

TEST(PasswordDigits, DecodeFollowsTheRoundingRuleForAnyText) {
    struct Case {
        std::string digits, plain;
    } cases[] = {
        {"058205880594", "abc"},
        {"1002", "\xA7"},
        {"058205", std::string("a\x01")},  // 6 digits: 2 groups, the second is "05"
        {"05", ""},                        // 2 digits: no group
        {"0582x", "a"},                    // 5 characters: 1 group
        {"0582058", "a\x09"},              // 7: 2 groups, "058" -> 58
        {"0582058805", "ab"},              // 10: 2.5 rounds to 2
        {"05820588059405", "abc\x01"},     // 14: 3.5 rounds to 4
        {"0583", "a"},                     // 583/3 = 194.3 -> 194 >> 1 = 97
        {"0587", "b"},                     // 587/3 = 195.7 -> 196 >> 1 = 98
        {"9999", "\x82"},                  // 3333 >> 1 = 1666, low 8 bits 130
        {"ab12", std::string(1, '\0')},    // no leading digit: 0
        {"12ab", std::string(1, '\x02')},  // leading digits 12: 4 >> 1 = 2
        {"-582", std::string(1, '\0')},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodePassword(c.digits), c.plain) << c.digits;
    }
    EXPECT_FALSE(settings::IsWellFormedPassword("0583"));
    EXPECT_FALSE(settings::IsWellFormedPassword("058"));
    EXPECT_FALSE(settings::IsWellFormedPassword("1536"));  // 256 * 6
    EXPECT_FALSE(settings::IsWellFormedPassword("ab12"));
    EXPECT_EQ(DecodePassword(std::string(100001, '7')).size(), 25000u);
}

TEST(ProfileLine, RoundTripsBothLayouts) {
    struct Case {
        std::string line;
        std::string name, sendDirectory, ftpPassword, popAuth, pop3Server, popAccount, popPassword;
        std::string written;  // empty: the line itself
    } cases[] = {
        // Current layout, "," inside the last field.
        {"Office,h,/pub,u,058205880594,w,n,m,r,s,1,pop,acct,1002,1,\\a,b,c", "Office", "\\a,b,c",
         "abc", "1", "pop", "acct", "\xA7", ""},
        // Shift_JIS names whose trail bytes include "\".
        {kJimusho + "," + kHyoji + ",/,u,,w," + kHyoji + ",m,r,s,0,,,,0,\\" + kHyoji, kJimusho,
         "\\" + kHyoji, "", "0", "", "", "", ""},
        // 14 "," : current layout with an empty last field.
        {"N,h,f,u,0582,w,n,m,r,s,1,p,a,0588,0,", "N", "", "a", "1", "p", "a", "b", ""},
        // 13 "," : older layout, no PopAuth/Pop3Server; written back with 16 fields.
        {"Old,h,/,u,0582,w,n,m,r,s,acct,0588,1,\\dir", "Old", "\\dir", "a", "0", "", "acct", "b",
         "Old,h,/,u,0582,w,n,m,r,s,0,,acct,0588,1,\\dir"},
        // Older layout cut short: missing fields are empty.
        {"Old,h,/,u,,w,n,m,r,s,acct,,1", "Old", "", "", "0", "", "acct", "",
         "Old,h,/,u,,w,n,m,r,s,0,,acct,,1,"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const TSenderProfile p = ParseProfileLine(c.line);
        EXPECT_EQ(p.Name, c.name);
        EXPECT_EQ(p.SendDirectory, c.sendDirectory);
        EXPECT_EQ(p.FtpPassword, c.ftpPassword);
        EXPECT_EQ(p.PopAuth, c.popAuth);
        EXPECT_EQ(p.Pop3Server, c.pop3Server);
        EXPECT_EQ(p.PopAccount, c.popAccount);
        EXPECT_EQ(p.PopPassword, c.popPassword);
        const std::string written = FormatProfileLine(p);
        EXPECT_EQ(written, c.written.empty() ? c.line : c.written);
        EXPECT_EQ(ParseProfileLine(written), p);
    }
}

TEST(ProfileLine, FieldsInStoredOrderAndFlagsWrittenAsDigits) {
    TSenderProfile p = Office();
    EXPECT_EQ(FormatProfileLine(p),
              "Office,ftp.example.jp,/public,user,058205880594,http://www.example.jp/,Taro,"
              "taro@example.jp,reply@example.jp,smtp.example.jp,1,pop.example.jp,taro,"
              "067202640714,1,\\data");
    EXPECT_EQ(ParseProfileLine(FormatProfileLine(p)), p);  // "," inside a password is safe
    p.PopAuth = "yes";
    p.DirectoryFixed = "0";
    const TSenderProfile back = ParseProfileLine(FormatProfileLine(p));
    EXPECT_EQ(back.PopAuth, "1");
    EXPECT_FALSE(back.IsDirectoryFixed());
}

TEST(ProfileLine, MalformedLinesParseWithoutHarm) {
    for (const std::string& line :
         {std::string(), std::string("only"), std::string(","), std::string(40, ','),
          std::string("a,b,c,d,zz9x,f"), std::string("\x95"), std::string("a\rb,c")}) {
        const TSenderProfile p = ParseProfileLine(line);
        EXPECT_EQ(p.Name, settings::ProfileNameOf(line));
    }
    const TSenderProfile many = ParseProfileLine(std::string(20, ','));
    EXPECT_EQ(many.SendDirectory, std::string(5, ','));
    EXPECT_EQ(ParseProfileLine("").PopAuth, "0");
}

TEST(ProfileEntryChecks, NamesThatCannotBeFileNames) {
    for (const std::string& ok : {std::string("Office"), kJimusho, kHyoji, std::string("a.b c")}) {
        EXPECT_TRUE(settings::IsValidProfileName(ok)) << ok;
    }
    for (const std::string& bad :
         {std::string(), std::string("a/b"), std::string("a\\b"), std::string("a\tb"),
          std::string("a\x7F"), std::string(".."), std::string("."), std::string("ab\x95")}) {
        EXPECT_FALSE(settings::IsValidProfileName(bad)) << testing::PrintToString(bad);
    }
}

TEST(ProfileEntryChecks, CommaThatWouldShiftFields) {
    TSenderProfile p = Office();
    EXPECT_EQ(settings::FindCommaField(p), std::nullopt);  // password "p,w", directory fine
    p.SendDirectory = "a,b";
    EXPECT_EQ(settings::FindCommaField(p), std::nullopt);
    p.MailName = "Yamada, Taro";
    EXPECT_EQ(settings::FindCommaField(p), 6u);
    p.Name = "a,b";
    EXPECT_EQ(settings::FindCommaField(p), 0u);
    EXPECT_EQ(settings::kProfileFieldNames[6], "MailName");
}

// Any line, once read and written, is a current-layout line that reads and writes back to
// itself.
TEST(ProfileLine, WrittenLineIsStableForAnyInput) {
    std::mt19937 rng(5);
    const char bytes[] = {',', ',', ',', '0', '5', '8', '2', 'a', '\r', '\x95', '\x5C', '\xFF'};
    for (int round = 0; round < 5000; ++round) {
        std::string line(rng() % 60, ' ');
        for (auto& c : line) c = bytes[rng() % sizeof bytes];
        const std::string written = FormatProfileLine(ParseProfileLine(line));
        ASSERT_EQ(FormatProfileLine(ParseProfileLine(written)), written)
            << testing::PrintToString(line);
        ASSERT_EQ(ParseProfileLine(written).Name, settings::ProfileNameOf(line));
    }
}

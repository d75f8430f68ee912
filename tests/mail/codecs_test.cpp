// MIME codecs: Base64, encoded words, quoted-printable, uuencode, the attachment encoder, and
// the date, zone, Message-Id and boundary texts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "mail/jconvert.h"
#include "mail/orb_msg.h"
#include "mail/orb_util.h"
#include "platform/screen_text.h"
#include "recording_session.h"

namespace mail {
namespace {

const std::string kIn = "\x1b$B";
const std::string kOut = "\x1b(J";    // closes expanded words on receipt
const std::string kAscii = "\x1b(B";  // closes everything written
const std::string kWord = "=?ISO-2022-JP?B?";

TEST(Base64, EncodeAndDecodeTable) {
    struct Case {
        std::string bytes, text;
    };
    const std::vector<Case> cases = {
        {"", ""},        {"a", "YQ=="},        {"ab", "YWI="},
        {"abc", "YWJj"}, {"abcd", "YWJjZA=="}, {std::string("\0\xFF\xFE", 3), "AP/+"},
        {kOut, "GyhK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(EncodeBase64(c.bytes), c.text);
        EXPECT_EQ(DecodeBase64(c.text), c.bytes);
        // Line breaks anywhere are ignored.
        for (std::size_t k = 0; k <= c.text.size(); ++k) {
            std::string broken = c.text;
            broken.insert(k, "\r\n");
            EXPECT_EQ(DecodeBase64(broken), c.bytes) << "break at " << k;
        }
    }
}

TEST(Base64, DecodeLeniency) {
    EXPECT_EQ(DecodeBase64("YWJj\r\nYWJj\r\n"), "abcabc");
    EXPECT_EQ(DecodeBase64("YWJjY"), "abc");  // a trailing short group is ignored
    EXPECT_EQ(DecodeBase64("YQ"), "");
    EXPECT_EQ(DecodeBase64("YQ==YQ=="), "aa");  // padded groups can follow each other
    EXPECT_EQ(DecodeBase64("===="), "");
}

TEST(Base64, RoundTripsEveryRemainder) {
    std::mt19937 random(7);
    for (std::size_t n = 0; n < 200; ++n) {
        std::string bytes(n, '\0');
        for (char& b : bytes) b = static_cast<char>(random());
        const std::string text = EncodeBase64(bytes);
        ASSERT_EQ(text.size(), (n + 2) / 3 * 4);
        ASSERT_EQ(DecodeBase64(text), bytes);
        // Decoding whole 4-character groups piece by piece gives the same bytes.
        for (std::size_t k = 0; k <= text.size(); k += 4)
            ASSERT_EQ(DecodeBase64(text.substr(0, k)) + DecodeBase64(text.substr(k)), bytes);
    }
}

TEST(EncodedWords, HeaderWordAndAddresses) {
    const std::string yamada = platform::Utf8ToSjis("山田");
    const std::string yamadaJis = kIn + "\x3B\x33\x45\x44";
    EXPECT_EQ(EncodeHeaderWord("\x82\xA0"), kWord + EncodeBase64(kIn + "\x24\x22" + kAscii) + "?=");
    EXPECT_EQ(EncodeHeaderWord("abc"), kWord + EncodeBase64("abc" + kAscii) + "?=");
    EXPECT_EQ(EncodeHeaderWord(""), kWord + "GyhC?=");

    struct Case {
        std::string input, expected;
    };
    // The word stands apart from "<" by exactly one blank.
    const std::vector<Case> addresses = {
        {yamada + " <a@b.jp>", kWord + EncodeBase64(yamadaJis + kAscii) + "?= <a@b.jp>"},
        {yamada + "  <a@b.jp>", kWord + EncodeBase64(yamadaJis + kAscii) + "?= <a@b.jp>"},
        {yamada + "<a@b.jp>", kWord + EncodeBase64(yamadaJis + kAscii) + "?= <a@b.jp>"},
        {"a@b.jp", kWord + "GyhC?=a@b.jp"},
        {"<a@b.jp>", kWord + "GyhC?= <a@b.jp>"},
        {"x <" + yamada + ">",
         kWord + EncodeBase64("x" + kAscii) + "?= <" + yamadaJis + kAscii + ">"},
    };
    for (const Case& c : addresses) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(EncodeAddress(c.input), c.expected);
    }

    const std::string one = yamada + "<a@b>";
    const std::string two = yamada + "<c@d>";
    const std::vector<Case> lists = {
        {one, EncodeAddress(one)},
        {one + "," + two, EncodeAddress(one) + "," + EncodeAddress(two)},
        {one + ",", EncodeAddress(one) + "," + kWord + "GyhC?="},
        {yamada + " <a@b>", yamada + " <a@b>"},  // a space but no comma: unchanged
        {one + ";" + two, one + ";" + two},
    };
    for (const Case& c : lists) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(EncodeAddressList(c.input), c.expected);
    }
}

TEST(EncodedWords, DecodeJisWords) {
    const std::string a = kIn + "\x24\x22" + kOut;
    struct Case {
        std::string input, expected;
    };
    const std::vector<Case> cases = {
        {"Subject: " + kWord + EncodeBase64(a) + "?= x", "Subject: " + a + kOut + " x"},
        {"=?iso-2022-jp?b?" + EncodeBase64("ab") + "?=", "ab" + kOut},
        {kWord + EncodeBase64("a") + "?=" + kWord + EncodeBase64("b") + "?=",
         "a" + kOut + "b" + kOut},
        {"no words", "no words"},
        {kWord + "YWJj", kWord + "YWJj"},  // unterminated: left alone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(DecodeJisWords(c.input), c.expected);
    }
}

TEST(EncodedWords, DecodeHeaderWords) {
    const std::string a = kIn + "\x24\x22" + kOut;  // あ in JIS
    struct Case {
        std::string input, expected;
    };
    const std::vector<Case> cases = {
        {"Re: " + kWord + EncodeBase64(a) + "?= ok", "Re: \x82\xA0 ok"},
        {"=?iso-2022-jp?b?" + EncodeBase64(a) + "?=", "\x82\xA0"},
        {"=?EUC-JP?B?" + EncodeBase64("\xA4\xA2\xA4\xF3") + "?=", "\x82\xA0\x82\xF1"},
        {"=?ISO-8859-1?Q?a=3Db_c?=", "a=b c"},
        {"=?x?q?caf=E9?=", "caf\xE9"},
        {"=?x?B?  " + EncodeBase64("ab  \r\n") + "?=",
         "ab"},                        // leading spaces; trailing blanks trimmed
        {"=?x?B?YWJj ZGVm?=", "abc"},  // stops at a space
        {"=?x?B?YQ==?=|=?x?B?Yg==?=", "a|b"},
        {"=?x?X?abc?=rest", "rest"},   // unknown encoding: the word is dropped
        {"=?x?B?YWJj", "=?x?B?YWJj"},  // no "?=": returned as it is
        {"=?x", "=?x"},
        {"plain", "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(DecodeHeaderWords(c.input), c.expected);
    }
}

TEST(QuotedPrintable, TableWholeAndSplit) {
    struct Case {
        std::string input;
        bool underscore;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"a=3Db_c", true, "a=b c"},
        {"a=3Db_c", false, "a=b_c"},
        {"=ZZ", false, "@"},
        {"=e9=E9", false, "\xE9\xE9"},
        {"ab=\r\ncd", false, "abcd"},
        {"ab=\ncd", false, "abcd"},  // a bare LF soft break keeps the next character
        {"ab=\rcd", false, "abcd"},
        {std::string("a\0b", 3), false, "a"},
        {"x=4", false, "x=4"},
        {"x=", false, "x="},
        {"", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        EXPECT_EQ(DecodeQuotedPrintable(c.input, c.underscore), c.expected);
        // Split anywhere outside an "=" escape and its line end, the pieces decode alike.
        if (c.input.find('\0') != std::string::npos) continue;
        for (std::size_t k = 1; k < c.input.size(); ++k) {
            const std::size_t eq = c.input.rfind('=', k - 1);
            if (eq != std::string::npos && k - eq <= 2) continue;
            EXPECT_EQ(DecodeQuotedPrintable(c.input.substr(0, k), c.underscore) +
                          DecodeQuotedPrintable(c.input.substr(k), c.underscore),
                      c.expected)
                << "split at " << k;
        }
    }
}

TEST(Uuencode, Decode) {
    std::string all45;
    for (int i = 0; i < 45; ++i) all45.push_back(static_cast<char>(i));
    const std::string line45 = "M  $\" P0%!@<(\"0H+# T.#Q 1$A,4%187&!D:&QP='A\\@(2(C)\"4F)R@I*BLL";
    const std::string bytes10 = "\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1";
    struct Case {
        std::vector<std::string> lines;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{"#0V%T", "`", "end"}, "Cat"},
        {{"#0V%T", "end", "#0V%T"}, "Cat"},  // stops at "end"
        {{line45, "*R,G*R\\S-SL_0T0  ", "`"}, all45 + bytes10},
        {{"*R,G*R\\S-SL_0T0"}, bytes10},     // trailing blanks cut off: zero bits
        {{"#0V%T", "", "#0V%T"}, "CatCat"},  // empty lines carry nothing
        {{"_" + line45.substr(1)}, all45},   // a count above 45 gives 45 bytes
        {{line45 + "XYZ"}, all45},           // characters after the 60th are not used
        {{}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.lines));
        EXPECT_EQ(DecodeUuencode(c.lines, "bad format"), c.expected);
    }
    for (const std::string bad : {"#0V%t", "a", "#0V\x7F"}) {
        try {
            DecodeUuencode({bad}, "Error in format of message");
            ADD_FAILURE() << bad;
        } catch (const EUudecodeError& e) {
            EXPECT_STREQ(e.what(), "Error in format of message");
        }
    }
}

class ZoneFixture : public testing::Test {
protected:
    void SetZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    void TearDown() override {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> saved_ =
        getenv("TZ") ? std::optional<std::string>(getenv("TZ")) : std::nullopt;
};

TEST_F(ZoneFixture, ZoneTextAndMailDate) {
    EXPECT_EQ(ZoneText(0), "GMT");
    EXPECT_EQ(ZoneText(540), "+0900");
    EXPECT_EQ(ZoneText(-210), "-0330");
    EXPECT_EQ(ZoneText(-600), "-1000");
    SetZone("JST-9");
    EXPECT_EQ(ZoneText(), "+0900");
    platform::DateTime d;
    d.year = 2026, d.month = 12, d.day = 7, d.hour = 6, d.minute = 43, d.second = 5,
    d.dayOfWeek = 1;
    EXPECT_EQ(FormatMailDate(d), "Mon, 7 Dec 2026 06:43:05 +0900");
    SetZone("UTC0");
    d.month = 1, d.day = 10, d.dayOfWeek = 6;
    EXPECT_EQ(FormatMailDate(d), "Sat, 10 Jan 2026 06:43:05 GMT");
    SetZone("<-0330>3:30");
    EXPECT_EQ(ZoneText(), "-0330");
    // The local time of a known instant in a known zone.
    SetZone("JST-9");
    const platform::DateTime t = platform::LocalTimeOf(0);
    EXPECT_EQ(FormatMailDate(t), "Thu, 1 Jan 1970 09:00:00 +0900");
}

TEST(Identifiers, MessageIdAndBoundary) {
    const platform::DateTime today = platform::LocalNow();
    char date[32];
    std::snprintf(date, sizeof date, "%04d.%02d.%02d.", today.year, today.month, today.day);
    const std::string id = MakeMessageId("host.example");
    EXPECT_TRUE(std::regex_match(
        id, std::regex("<ORB\\." + std::string(date) + "[a-t]{8}@host\\.example>")))
        << id;
    EXPECT_TRUE(std::regex_match(MakeMessageId(""), std::regex("<ORB\\.[0-9.]{11}[a-t]{8}@>")));
    const std::string b = MakeBoundary();
    EXPECT_TRUE(std::regex_match(b, std::regex("--_ORB_bound_[a-y]{12}"))) << b;
    // Reseeded from the clock on every call: calls in quick succession still differ.
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) seen.insert(MakeBoundary());
    EXPECT_GT(seen.size(), 15u);
}

class AttachmentEncoder : public testing::Test {
protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_ = [] {
        auto d =
            std::filesystem::temp_directory_path() / ("fernlay_enc_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
};

std::string Concat(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l;
    return s;
}

TEST_F(AttachmentEncoder, LinesForEdgeSizes) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> lineLengths;
    };
    const std::vector<Case> cases = {
        {0, {}},
        {1, {4}},
        {57, {76}},
        {58, {76, 4}},
        {2280, std::vector<std::size_t>(40, 76)},
        {2281 + 57,
         [] {
             std::vector<std::size_t> v(41, 76);
             v.push_back(4);
             return v;
         }()},
    };
    std::mt19937 random(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::string bytes(c.size, '\0');
        for (char& b : bytes) b = static_cast<char>(random());
        RecordingSession session;
        const auto lines = EncodeAttachmentFile(session, WriteFile("f.bin", bytes), "f.bin");
        ASSERT_TRUE(lines);
        std::vector<std::size_t> lengths;
        for (const auto& l : *lines) lengths.push_back(l.size());
        EXPECT_EQ(lengths, c.lineLengths);
        EXPECT_EQ(DecodeBase64(Concat(*lines)), bytes);
        if (c.size == 58) {
            EXPECT_EQ(lines->back().substr(2), "==");
        }
        EXPECT_EQ(session.events.front(), "start f.bin " + std::to_string(c.size));
        EXPECT_EQ(session.events.back(), "end");
        EXPECT_EQ(session.events[session.events.size() - 2], "progress 100");
    }
}

TEST_F(AttachmentEncoder, ProgressThresholdsAndAbort) {
    // 3 blocks of 40 lines: percent after line k is k*100/120, reported when it reaches
    // the next multiple of the step; the rest of the file adds no reports.
    const std::string path = WriteFile("p.bin", std::string(3 * 2280 + 100, 'x'));
    RecordingSession session;
    session.step = 25;
    ASSERT_TRUE(EncodeAttachmentFile(session, path, "p.bin"));
    std::vector<std::string> progress;
    for (const auto& e : session.events)
        if (e.rfind("progress", 0) == 0) progress.push_back(e);
    EXPECT_EQ(progress, (std::vector<std::string>{"progress 25", "progress 50", "progress 75",
                                                  "progress 100"}));
    EXPECT_GE(session.pumps, 120);

    // 40 lines of a 2280-byte file are 2.5 percent each; halves round to even.
    RecordingSession fine;
    fine.step = 1;
    ASSERT_TRUE(EncodeAttachmentFile(fine, WriteFile("q.bin", std::string(2280, 'q')), "q.bin"));
    EXPECT_EQ(std::vector<std::string>(fine.events.begin() + 1, fine.events.begin() + 6),
              (std::vector<std::string>{"progress 2", "progress 5", "progress 8", "progress 10",
                                        "progress 12"}));
    EXPECT_EQ(fine.events[fine.events.size() - 2], "progress 100");

    RecordingSession aborting;
    aborting.abortAfterPumps = 2;  // before the second block
    EXPECT_FALSE(EncodeAttachmentFile(aborting, path, "p.bin"));
    EXPECT_EQ(std::count(aborting.events.begin(), aborting.events.end(), "end"), 0);

    RecordingSession abortAtEnd;
    abortAtEnd.abortAfterPumps = 1 + 3 * 41 + 1;  // the pass after the last line
    EXPECT_FALSE(EncodeAttachmentFile(abortAtEnd, path, "p.bin"));

    RecordingSession missing;
    EXPECT_THROW(EncodeAttachmentFile(missing, (dir_ / "none").string(), "none"),
                 platform::FileError);
}

}  // namespace
}  // namespace mail

// Parsing retrieved messages: header lookup and address forms, then fixtures written as real
// mail clients write them (some by Python's email package, see fixtures/make_fixtures.py),
// then hostile input.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "mail/msg_parse.h"
#include "mail/orb_util.h"
#include "platform/texts.h"

namespace {

using mail::Lines;
using mail::TOrbMsg;
using platform::Sjis;

Lines Fixture(const std::string& name) {
    std::ifstream in(std::string(FERNLAY_SOURCE_DIR) + "/tests/mail/fixtures/" + name,
                     std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::stringstream s;
    s << in.rdbuf();
    return mail::SplitTextLines(s.str());
}

TOrbMsg Parse(const Lines& lines, const mail::ParseOptions& options = {}) {
    TOrbMsg m;
    mail::ParseReceivedMessage(lines, m, true, options);
    return m;
}

TEST(ParseHeader, FindHeader) {
    const Lines lines = {"Received: from x",
                         "subject: first part",
                         "\tsecond part",
                         " third",
                         "Content-Type: text/plain; charset=iso-2022-jp",
                         "X-Empty:",
                         "",
                         "To: not@header.jp"};
    EXPECT_EQ(mail::FindHeader("SUBJECT:", lines), "first partsecond partthird");
    EXPECT_EQ(mail::FindHeader("CONTENT-TYPE:", lines), "text/plain");
    EXPECT_EQ(mail::FindHeaderWhole("CONTENT-TYPE:", lines), "text/plain; charset=iso-2022-jp");
    EXPECT_EQ(mail::FindHeader("TO:", lines), "") << "the empty line ends the header";
    EXPECT_EQ(mail::FindHeader("X-EMPTY:", lines), "");
    EXPECT_EQ(mail::FindHeader("RECEIVED:", lines), "from x");
}

TEST(ParseHeader, AddressForms) {
    EXPECT_EQ(mail::AddressListForm("a@x.jp, Bee <b@y.jp>, c@z.jp (Cee 'C')"),
              "\"a@x.jp\" <a@x.jp>, \"Bee\" <b@y.jp>, \"Cee C\" <c@z.jp>");
    // Quoted parts go first, so a quoted display name leaves an empty one.
    EXPECT_EQ(mail::AddressListForm("\"Yamada, Taro\" <taro@x.jp>"), "\"\" <taro@x.jp>");
    const std::string word = mail::EncodeHeaderWord(Sjis(u8"山田"));
    EXPECT_EQ(mail::AddressListForm(word + " <taro@x.jp>"), Sjis(u8"\"山田\" <taro@x.jp>"));

    EXPECT_EQ(mail::RecipientForm("\"Hanako\" <hanako@x.jp>"), "Hanako<hanako@x.jp>");
    EXPECT_EQ(mail::RecipientForm(word + " <taro@x.jp>, b@y.jp  "),
              Sjis(u8"山田<taro@x.jp>,b@y.jp"));
}

TEST(ParseFixture, JisPlainTextWithFoldedSubject) {
    const TOrbMsg m = Parse(Fixture("jis_plain.eml"));
    EXPECT_EQ(m.Subject, Sjis(u8"ファイル送信のお知らせ：週次報告書と議事録の送付について"));
    EXPECT_EQ(m.From, Sjis(u8"山田 太郎<taro@example.jp>"));
    EXPECT_EQ(m.SendTo, "hanako@example.jp");
    EXPECT_EQ(m.Date, "Wed, 9 Dec 2026 10:00:00 +0900");
    EXPECT_EQ(m.ContentType, "TEXT/PLAIN");
    EXPECT_EQ(m.TransferEncoding, "7BIT");
    EXPECT_EQ(m.Text, (Lines{Sjis(u8"こんにちは、世界。"), Sjis(u8"二行目です。")}));
    EXPECT_EQ(m.AttachedFiles.Count(), 0);
}

TEST(ParseFixture, EncodedBodies) {
    const TOrbMsg b = Parse(Fixture("base64_body.eml"));
    EXPECT_EQ(b.Text, Lines{Sjis(u8"本文はBase64です。")});
    EXPECT_EQ(b.TransferEncoding, "BASE64");

    const TOrbMsg q = Parse(Fixture("qp_body.eml"));
    EXPECT_EQ(q.Text, Lines{"a=b_c " + std::string(90, 'x') + " end"});
}

TEST(ParseFixture, NoContentTypeIsPlainText) {
    const TOrbMsg m = Parse(Fixture("no_content_type.eml"));
    EXPECT_EQ(m.ContentType, "TEXT/PLAIN");
    EXPECT_EQ(m.TransferEncoding, "7BIT");
    EXPECT_EQ(m.Subject, "no type") << "the value stops at \";\"";
    EXPECT_EQ(m.ReturnPath, "<taro@example.jp>");
    EXPECT_EQ(m.Text, (Lines{Sjis(u8"日本語の本文"), "second line"}));
}

TEST(ParseFixture, AlternativeHtmlBecomesAttachmentNamedAfterSubject) {
    const TOrbMsg m = Parse(Fixture("alternative_html.eml"));
    EXPECT_EQ(m.ContentType, "MULTIPART/ALTERNATIVE");
    EXPECT_EQ(m.Text, (Lines{Sjis(u8"月次報告です。"), ""}));
    ASSERT_EQ(m.AttachedFiles.Count(), 1);
    EXPECT_EQ(m.AttachedFiles[0].FileName, "Monthly report.html");
    const std::string& html = m.AttachedFiles[0].Data;
    EXPECT_EQ(html.rfind("<html><body>\x1b$B", 0), 0u);
    EXPECT_NE(html.find("</body></html>"), std::string::npos);
}

TEST(ParseFixture, Base64AttachmentWithJapaneseNameAndDecodeEvents) {
    std::vector<std::string> events;
    mail::ParseOptions options;
    options.OnDecodeStart = [&](const std::string& name, std::int64_t count) {
        events.push_back("start " + name + " " + std::to_string(count));
    };
    options.OnDecodeProgress = [&](std::uint16_t p) { events.push_back(std::to_string(p)); };
    options.OnDecodeEnd = [&] { events.push_back("end"); };
    const TOrbMsg m = Parse(Fixture("attachment_jp_name.eml"), options);
    EXPECT_EQ(m.Text, (Lines{Sjis(u8"添付します。"), ""}));
    ASSERT_EQ(m.AttachedFiles.Count(), 1);
    EXPECT_EQ(m.AttachedFiles[0].FileName, Sjis(u8"報告書.bin"));
    std::string expected;
    for (int r = 0; r < 2; ++r) {
        for (int i = 0; i < 256; ++i) expected += static_cast<char>(i);
    }
    EXPECT_EQ(m.AttachedFiles[0].Data, expected);
    EXPECT_TRUE(m.AttachedFiles[0].EncodedLines.empty());
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().rfind("start ", 0), 0u);
    EXPECT_EQ(events[events.size() - 2], "100");
    EXPECT_EQ(events.back(), "end");
}

TEST(ParseFixture, UuencodedBlockInText) {
    const TOrbMsg m = Parse(Fixture("uuencode_in_text.eml"));
    EXPECT_EQ(m.Text, (Lines{"Here is the file:", "end", "Thanks"}));
    ASSERT_EQ(m.AttachedFiles.Count(), 1);
    EXPECT_EQ(m.AttachedFiles[0].FileName, "data.bin");
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += static_cast<char>(i);
    EXPECT_EQ(m.AttachedFiles[0].Data, expected);
}

TEST(ParseFixture, ForwardedMessagePartIsParsedToo) {
    const TOrbMsg m = Parse(Fixture("rfc822_part.eml"));
    EXPECT_EQ(m.Subject, "forward");
    EXPECT_EQ(m.Text, (Lines{"See below.", "", Sjis(u8"転送された本文"), ""}));
    EXPECT_EQ(m.AttachedFiles.Count(), 0);
}

TEST(ParseFixture, NestedMultipartsAreFlattened) {
    const Lines lines = Fixture("nested_multipart.eml");
    EXPECT_EQ(mail::SplitMultipart(lines).size(), 3u);
    const TOrbMsg m = Parse(lines);
    EXPECT_EQ(m.Text, (Lines{"plain version", ""}));
    ASSERT_EQ(m.AttachedFiles.Count(), 2);
    EXPECT_EQ(m.AttachedFiles[0].FileName, "Weekly news.html");
    EXPECT_EQ(m.AttachedFiles[0].Data, "<p>html version</p>\r\n");
    EXPECT_EQ(m.AttachedFiles[1].FileName, "notes.txt");
    EXPECT_EQ(m.AttachedFiles[1].Data, "hello attachment");
}

TEST(ParseFixture, HeaderOnlyLeavesTheBody) {
    TOrbMsg m;
    mail::ParseReceivedMessage(Fixture("jis_plain.eml"), m, false, {});
    EXPECT_EQ(m.Subject, Sjis(u8"ファイル送信のお知らせ：週次報告書と議事録の送付について"));
    EXPECT_TRUE(m.Text.empty());
    EXPECT_EQ(m.RawHeader.size(), 8u);
}

TEST(ParseHostile, MalformedUuencodeRaisesTheComponentText) {
    mail::ParseOptions options;
    options.FormatErrorText = "bad format";
    const Lines lines = {"Subject: x", "", "begin 644 a.bin", "M\x01\x02\x03", "end"};
    try {
        Parse(lines, options);
        ADD_FAILURE() << "not raised";
    } catch (const mail::EUudecodeError& e) {
        EXPECT_STREQ(e.what(), "bad format");
    }
}

TEST(ParseHostile, OddStructuresParseQuickly) {
    const auto started = std::chrono::steady_clock::now();
    {
        SCOPED_TRACE("deeply nested multiparts");
        Lines lines;
        for (int i = 0; i < 2000; ++i) {
            lines.push_back("Content-Type: multipart/mixed; boundary=b" + std::to_string(i));
            lines.push_back("");
            lines.push_back("--b" + std::to_string(i));
        }
        lines.push_back("Content-Type: text/plain");
        lines.push_back("");
        lines.push_back("deep");
        const TOrbMsg m = Parse(lines);
        EXPECT_FALSE(m.Text.empty());
    }
    {
        SCOPED_TRACE("deeply nested forwarded messages");
        Lines lines;
        for (int i = 0; i < 5000; ++i) {
            lines.push_back("Content-Type: message/rfc822");
            lines.push_back("");
        }
        lines.push_back("end of it");
        EXPECT_NO_THROW(Parse(lines));
    }
    {
        SCOPED_TRACE("boundary that never comes, and one without a value");
        const TOrbMsg a = Parse({"Content-Type: multipart/mixed; boundary=zz", "", "text"});
        EXPECT_EQ(a.Text, Lines{"text"});
        const TOrbMsg b = Parse({"Content-Type: multipart/mixed; boundary=", "", "text"});
        EXPECT_EQ(b.Text, Lines{"text"});
    }
    {
        SCOPED_TRACE("many uuencoded blocks");
        Lines lines = {"Subject: uu", ""};
        for (int i = 0; i < 20000; ++i) {
            lines.push_back("begin 644 f" + std::to_string(i));
            lines.push_back("end");
        }
        const TOrbMsg m = Parse(lines);
        EXPECT_EQ(m.AttachedFiles.Count(), 20000);
        EXPECT_EQ(m.Text.size(), 20000u);
    }
    {
        SCOPED_TRACE("one very long Base64 line");
        const std::string data(600000, 'A');
        const TOrbMsg m = Parse({"Content-Type: application/octet-stream; name=x.bin",
                                 "Content-Transfer-Encoding: base64", "", data});
        ASSERT_EQ(m.AttachedFiles.Count(), 1);
        EXPECT_EQ(m.AttachedFiles[0].Data.size(), 450000u);
    }
    for (const Lines& lines : {Lines{}, Lines{""}, Lines{"x"}, Lines{"Subject: =?", "", "b"},
                               Lines{"From:", "To:", "CC: ,,,", "Sender: <", ""}}) {
        EXPECT_NO_THROW(Parse(lines));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

}  // namespace

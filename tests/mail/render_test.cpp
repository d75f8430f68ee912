// Rendering of TOrbMsg into the lines sent after DATA, attachments and the MIME type table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <tuple>

#include "mail/jconvert.h"
#include "mail/mail_transport.h"
#include "mail/orb_msg.h"
#include "mail/orb_util.h"
#include "platform/mime_types.h"
#include "platform/screen_text.h"
#include "recording_session.h"

namespace mail {
namespace {

const std::string kIn = "\x1b$B";
const std::string kOut = "\x1b(B";
const std::string kWord = "=?ISO-2022-JP?B?";
const std::string kKonnichiwa = platform::Utf8ToSjis("こんにちは");
const std::string kYamada = platform::Utf8ToSjis("山田");

TOrbMsg BasicMessage() {
    TOrbMsg m;
    m.From = "taro@example.jp";
    m.SendTo = "hanako@example.jp";
    m.Subject = "Hello";
    m.Date = "Mon, 7 Dec 2026 06:43:15 +0900";
    m.Text = {"first", ".", ".hidden", "a.b"};
    return m;
}

std::vector<std::string> Render(TOrbMsg& m) {
    RecordingSession session;
    auto lines = RenderMessage(session, m);
    EXPECT_TRUE(lines);
    return lines ? *lines : std::vector<std::string>{};
}

// Header lines up to the empty line, with the Message-Id checked and dropped.
std::vector<std::string> Headers(const std::vector<std::string>& lines) {
    std::vector<std::string> h;
    for (const auto& l : lines) {
        if (l.empty()) break;
        h.push_back(l);
    }
    EXPECT_FALSE(h.empty());
    if (!h.empty()) {
        EXPECT_TRUE(std::regex_match(
            h[0], std::regex("Message-Id: <ORB\\.[0-9.]{11}[a-t]{8}@test\\.host>")))
            << h[0];
        h.erase(h.begin());
    }
    return h;
}

std::vector<std::string> Body(const std::vector<std::string>& lines) {
    const auto blank = std::find(lines.begin(), lines.end(), std::string());
    return blank == lines.end() ? std::vector<std::string>{}
                                : std::vector<std::string>(blank + 1, lines.end());
}

TEST(RenderMessage, AsciiMessageExactLines) {
    TOrbMsg m = BasicMessage();
    const auto lines = Render(m);
    EXPECT_EQ(Headers(lines), (std::vector<std::string>{
                                  "Date: Mon, 7 Dec 2026 06:43:15 +0900",
                                  "X-Priority: 3",
                                  "From: taro@example.jp",
                                  "X-Mailer: Fernlay",
                                  "To: hanako@example.jp",
                                  "Subject: Hello",
                                  "MIME-Version: 1.0",
                                  "Content-Type: Text/Plain; charset=ISO-8859-1",
                                  "Content-Transfer-Encoding: 8bit",
                              }));
    // Pure ASCII body: no escapes; lines beginning with "." are stuffed.
    EXPECT_EQ(Body(lines), (std::vector<std::string>{"first", "..", "..hidden", "a.b"}));
}

TEST(RenderMessage, OptionalHeadersAndValues) {
    TOrbMsg m = BasicMessage();
    m.InReplyTo = "<x@y>";
    m.CC = "c1@example.jp,c2@example.jp";
    m.BCC = "secret@example.jp";
    m.ReplyTo = "back@example.jp";
    m.Subject = "";
    m.CharSet = "ISO-2022-JP";
    m.ExtraHeaders = {"X-One: 1", "X-Two: 2"};
    m.Priority = prHighest;
    EXPECT_EQ(Headers(Render(m)), (std::vector<std::string>{
                                      "In-Reply-To: <x@y>",
                                      "Date: Mon, 7 Dec 2026 06:43:15 +0900",
                                      "X-Priority: 1",
                                      "From: taro@example.jp",
                                      "Reply-To: back@example.jp",
                                      "X-Mailer: Fernlay",
                                      "To: hanako@example.jp",
                                      "CC: c1@example.jp,c2@example.jp",
                                      "Subject: ",
                                      "MIME-Version: 1.0",
                                      "Content-Type: Text/Plain; charset=ISO-2022-JP",
                                      "Content-Transfer-Encoding: 7bit",
                                      "X-One: 1",
                                      "X-Two: 2",
                                  }));

    const std::vector<std::pair<TPriority, std::string>> priorities = {
        {prHighest, "1"}, {prHigh, "2"}, {prNormal, "3"}, {prLow, "4"}, {prLowest, "5"}};
    for (const auto& [priority, text] : priorities) {
        TOrbMsg p = BasicMessage();
        p.Priority = priority;
        EXPECT_EQ(Headers(Render(p))[1], "X-Priority: " + text);
    }
}

TEST(RenderMessage, JapaneseHeadersAreEncodedAndStoredBack) {
    TOrbMsg m = BasicMessage();
    m.JPName = kYamada;
    m.Subject = kKonnichiwa;
    m.SendTo = kYamada + "<hanako@example.jp>";
    m.CC = kYamada + "<a@b>," + kYamada + "<c@d>";
    m.ReplyTo = "Back <back@example.jp>";
    const std::string name = kWord + EncodeBase64(SjisToJis(kYamada) + kOut) + "?=";
    // RFC 2047: the word stands apart from "<" by a blank.
    const std::vector<std::string> expected = {
        "Date: Mon, 7 Dec 2026 06:43:15 +0900",
        "X-Priority: 3",
        "From: " + name + " <taro@example.jp>",
        "Reply-To: " + kWord + EncodeBase64("Back" + kOut) + "?= <back@example.jp>",
        "X-Mailer: Fernlay",
        "To: " + name + " <hanako@example.jp>",
        "CC: " + name + " <a@b>," + name + " <c@d>",
        "Subject: " + EncodeHeaderWord(kKonnichiwa),
        "MIME-Version: 1.0",
        "Content-Type: Text/Plain; charset=ISO-8859-1",
        "Content-Transfer-Encoding: 8bit",
    };
    EXPECT_EQ(Headers(Render(m)), expected);
    EXPECT_EQ(m.JPName, name);
    EXPECT_EQ(m.From, "taro@example.jp");
    EXPECT_EQ(m.SendTo, name + " <hanako@example.jp>");
    EXPECT_EQ(m.Subject, EncodeHeaderWord(kKonnichiwa));
    // A second rendering of the same object yields the same header, not a doubly wrapped one.
    EXPECT_EQ(Headers(Render(m)), expected);
}

// An ASCII name stands as it is, or quoted where it holds specials; rendering it twice keeps it.
TEST(RenderMessage, AsciiSenderNames) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Taro", "Taro"},
        {"Taro Yamada", "Taro Yamada"},
        {"Yamada, Taro", "\"Yamada, Taro\""},
        {"T. \"Bob\" O\\K", "\"T. \\\"Bob\\\" O\\\\K\""},
        {" Taro", "\" Taro\""},
    };
    for (const auto& [jpName, shown] : cases) {
        SCOPED_TRACE(jpName);
        TOrbMsg m = BasicMessage();
        m.JPName = jpName;
        EXPECT_EQ(Headers(Render(m))[2], "From: " + shown + " <taro@example.jp>");
        EXPECT_EQ(Headers(Render(m))[2], "From: " + shown + " <taro@example.jp>");
    }
}

// A header value holding CR, LF or NUL would end its header line early and start one of its
// own (a Bcc:, say): rendering refuses the message instead.
TEST(RenderMessage, HeaderValuesWithLineBreaksOrNulAreRefused) {
    const std::string bcc = "\r\nBcc: evil@example.jp";
    const std::vector<std::tuple<const char*, std::function<void(TOrbMsg&)>, std::string>> cases = {
        {"CR LF", [&](TOrbMsg& m) { m.Subject += bcc; }, "Subject"},
        {"NUL", [](TOrbMsg& m) { m.Subject += std::string(1, '\0'); }, "Subject"},
        {"lone CR", [](TOrbMsg& m) { m.ReplyTo = "r@example.jp\rBcc: e@x.jp"; }, "ReplyTo"},
        {"CR LF", [&](TOrbMsg& m) { m.JPName = "Taro" + bcc; }, "JPName"},
        {"LF", [&](TOrbMsg& m) { m.UserName = "Taro\n"; }, "UserName"},
        {"CR LF", [&](TOrbMsg& m) { m.From += bcc; }, "From"},
        {"LF", [&](TOrbMsg& m) { m.SendTo += "\n"; }, "SendTo"},
        {"CR LF", [&](TOrbMsg& m) { m.CC = "c@example.jp" + bcc; }, "CC"},
        {"CR LF", [&](TOrbMsg& m) { m.InReplyTo = "<id@x>" + bcc; }, "InReplyTo"},
        {"CR LF", [&](TOrbMsg& m) { m.ExtraHeaders = {"X-Tag: 1" + bcc}; }, "ExtraHeaders"},
        {"CR LF", [&](TOrbMsg& m) { m.CharSet = "ISO-2022-JP" + bcc; }, "CharSet"},
    };
    for (const auto& [what, change, field] : cases) {
        SCOPED_TRACE(field + ", " + what);
        TOrbMsg m = BasicMessage();
        change(m);
        RecordingSession session;
        try {
            RenderMessage(session, m);
            ADD_FAILURE() << "rendered";
        } catch (const EMailArgumentError& e) {
            EXPECT_EQ(e.what(), "Line break or NUL in " + field + ".");
        }
    }
}

TEST(RenderMessage, BodyConversion) {
    struct Case {
        std::vector<std::string> text, expected;
    };
    const std::vector<Case> cases = {
        // Shift_JIS body: every line converted and closed, ASCII lines too.
        {{kKonnichiwa, "abc", "", ".x" + kKonnichiwa},
         {SjisToJis(kKonnichiwa) + kOut, "abc" + kOut, kOut,
          "..x" + SjisToJis(kKonnichiwa) + kOut}},
        // Undecided between EUC-JP and Shift_JIS: sent as it is.
        {{"\xB1\xB2\xB3\xB4"}, {"\xB1\xB2\xB3\xB4"}},
        // EUC-JP body: not Shift_JIS, so not converted.
        {{"\xA4\xA2\xA4\xF3"}, {"\xA4\xA2\xA4\xF3"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        TOrbMsg m = BasicMessage();
        m.Text = c.text;
        EXPECT_EQ(Body(Render(m)), c.expected);
        EXPECT_EQ(m.Text, c.text);  // the message keeps its own lines
    }
}

class Attachments : public testing::Test {
protected:
    std::string WriteFile(const std::string& name, std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        contents_[name] = bytes;
        return path.string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_ = [] {
        auto d = std::filesystem::temp_directory_path() /
                 ("fernlay_render_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    std::map<std::string, std::string> contents_;
};

TEST_F(Attachments, MultipartLayout) {
    TOrbMsg m = BasicMessage();
    m.CharSet = "ISO-2022-JP";
    m.Text = {"body"};
    for (const char* name : {"empty.bin", "one.txt", "two.pdf"})
        m.AttachedFiles.AddFile(WriteFile(name, 0));
    WriteFile("one.txt", 57);
    WriteFile("two.pdf", 58);
    RecordingSession session;
    const auto lines = RenderMessage(session, m);
    ASSERT_TRUE(lines);
    const auto headers = Headers(*lines);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(
        headers[7], match,
        std::regex("Content-Type: multipart/mixed; boundary=\"(--_ORB_bound_[a-y]{12})\"")))
        << headers[7];
    EXPECT_EQ(headers.size(), 8u);  // no transfer encoding line at the top
    const std::string d = "--" + match[1].str();
    const std::vector<std::string> b = {
        EncodeBase64(contents_["one.txt"]),
        EncodeBase64(contents_["two.pdf"].substr(0, 57)),
        EncodeBase64(contents_["two.pdf"].substr(57)),
    };
    EXPECT_EQ(b[0].size(), 76u);
    EXPECT_EQ(b[2].size(), 4u);
    EXPECT_EQ(Body(*lines), (std::vector<std::string>{
                                d,
                                "Content-Type: Text/Plain; charset=ISO-2022-JP",
                                "Content-Transfer-Encoding: 7bit",
                                "",
                                "body",
                                d,
                                "Content-Type: application/octet-stream; name=\"empty.bin\"",
                                "Content-Transfer-Encoding: base64",
                                "Content-Disposition: inline; FileName=\"empty.bin\"",
                                "",
                                d,
                                "Content-Type: text/plain; name=\"one.txt\"",
                                "Content-Transfer-Encoding: base64",
                                "Content-Disposition: inline; FileName=\"one.txt\"",
                                "",
                                b[0],
                                d,
                                "Content-Type: application/pdf; name=\"two.pdf\"",
                                "Content-Transfer-Encoding: base64",
                                "Content-Disposition: inline; FileName=\"two.pdf\"",
                                "",
                                b[1],
                                b[2],
                                "",
                                d + "--",
                                ""}));
    EXPECT_EQ(m.AttachedFiles[2].EncodedLines, (std::vector<std::string>{b[1], b[2]}));
    EXPECT_EQ(std::count(session.events.begin(), session.events.end(), "end"), 3);
}

TEST_F(Attachments, AbortAndMissingFile) {
    TOrbMsg m = BasicMessage();
    m.AttachedFiles.AddFile(WriteFile("a.bin", 100));
    RecordingSession aborting;
    aborting.abortAfterPumps = 0;
    EXPECT_FALSE(RenderMessage(aborting, m));

    TOrbMsg missing = BasicMessage();
    missing.AttachedFiles.AddFile((dir_ / "gone.bin").string());
    RecordingSession session;
    EXPECT_THROW(RenderMessage(session, missing), platform::FileError);
}

TEST(AttachedFiles, AddFileNamesAndTypes) {
    TAttachedFiles files;
    // 表 ends in 0x5C: that trail byte is not a directory separator.
    const std::string hyou = platform::Utf8ToSjis("表");
    ASSERT_EQ(hyou, "\x95\x5C");
    TAttachedFile& f = files.AddFile("C:\\data\\" + hyou + ".txt");
    EXPECT_EQ(f.FilePath, "C:\\data\\" + hyou + ".txt");
    EXPECT_EQ(f.FileName, SjisToJis(hyou + ".txt"));
    EXPECT_EQ(f.ContentType, "text/plain");
    EXPECT_EQ(files.AddFile("/tmp/x/Photo.PNG").FileName, "Photo.PNG");
    EXPECT_EQ(files[1].ContentType, "image/png");
    EXPECT_EQ(files.Count(), 2);
    EXPECT_EQ(TAttachedFiles::ContentTypeForFile("a.unknownext"), "application/octet-stream");
    EXPECT_EQ(TAttachedFiles::ContentTypeForFile("noext"), "application/octet-stream");
    EXPECT_EQ(TAttachedFiles::ContentTypeForFile("dir.d/noext"), "application/octet-stream");
    EXPECT_EQ(TAttachedFiles::ContentTypeForFile("trailing."), "application/octet-stream");
    files.Delete(0);
    EXPECT_EQ(files[0].FileName, "Photo.PNG");
    EXPECT_THROW(files[5], std::out_of_range);
}

TEST(MimeTypeTable, ReadsFileFormat) {
    const auto path =
        std::filesystem::temp_directory_path() / ("fernlay_mime_" + std::to_string(::getpid()));
    std::ofstream(path) << "# comment line\n"
                           "text/x-first\tabc def\n"
                           "text/x-second abc   # later entries do not override\n"
                           "application/x-lonely\n";
    const platform::MimeTypeTable table(path.string());
    std::filesystem::remove(path);
    EXPECT_EQ(table.Lookup(".abc"), "text/x-first");
    EXPECT_EQ(table.Lookup("DEF"), "text/x-first");
    EXPECT_EQ(table.Lookup(".ghi"), "");
    EXPECT_EQ(table.Lookup(""), "");
    EXPECT_EQ(platform::MimeTypeTable("/nonexistent/mime.types").Lookup("txt"), "");
}

TEST(OrbMsgList, HoldsReferencesOnly) {
    TOrbMsg a, b;
    TOrbMsgList list;
    list.Add(&a);
    list.Add(&b);
    EXPECT_EQ(list.IndexOf(&b), 1);
    list.Delete(0);
    EXPECT_EQ(list[0], &b);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace mail

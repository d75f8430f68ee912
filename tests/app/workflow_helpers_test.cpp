#include <gtest/gtest.h>

#include "app/download.h"
#include "app/error_log.h"
#include "app/remote_path.h"
#include "platform/texts.h"
#include "temp_dir.h"

namespace {

// "表" is 0x95 0x5C: its trail byte is the code of "\".
const std::string kHyo = "\x95\x5C";

struct PathCase {
    std::string in, out;
};

TEST(NormalizeRemotePath, Table) {
    const PathCase cases[] = {
        {"", "/"},
        {"\\", "/"},
        {"/", "/"},
        {"\\\\", "/"},
        {"\\photos\\", "/photos"},
        {"a\\b", "/a/b"},
        {"/a/b/", "/a/b"},
        {"data", "/data"},
        {kHyo, "/" + kHyo},                            // trail byte is no separator
        {"\\" + kHyo + "\\sub", "/" + kHyo + "/sub"},  // nor is it replaced
        {"\\dir\\" + kHyo, "/dir/" + kHyo},            // nor dropped at the end
        {"\\dir\\" + kHyo + "\\", "/dir/" + kHyo},     // a real one after it is
    };
    for (const auto& c : cases) EXPECT_EQ(app::NormalizeRemotePath(c.in), c.out) << c.in;
}

struct BaseCase {
    std::string www, dir, base;
    bool utf8 = false;  // the session sent names as UTF-8
};

TEST(BuildDownloadBase, Table) {
    const BaseCase cases[] = {
        {"h.example/~user/", "\\", "http://h.example/~user/"},
        {"/h.example/path", "\\", "http://h.example/path/"},
        {"http://h.example/dir\\", "\\sub\\in", "http://h.example/dir/sub/in/"},
        // The scheme test is case-sensitive.
        {"HTTP://h.example", "\\", "http://HTTP://h.example/"},
        {"https://h.example/", "/data/", "https://h.example/data/"},
        {"httpd.example", "", "httpd.example/"},  // begins with "http": left alone
        // The address stays as typed; the directory is percent-encoded over its bytes.
        {"http://h/" + kHyo, "\\", "http://h/" + kHyo + "/"},
        {"http://h", "\\" + kHyo, "http://h/%95%5C/"},
        {"h/~u/", "\\a b\\#1\\", "http://h/~u/a%20b/%231/"},
        // UTF-8 names: the directory's UTF-8 bytes; the typed address is untouched.
        {"http://h/" + kHyo, "\\" + kHyo + "\\a b", "http://h/" + kHyo + "/%E8%A1%A8/a%20b/", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::BuildDownloadBase(c.www, c.dir, c.utf8), c.base) << c.www << " | " << c.dir;
}

// The download address asks for exactly the name's bytes: everything outside unreserved
// characters, sub-delimiters, ":", "@" and "/" is percent-encoded.
TEST(DownloadAddress, PercentEncodesTheNameBytes) {
    using platform::Sjis;
    const std::pair<std::string, std::string> cases[] = {
        {"report.bin", "report.bin"},
        {Sjis(u8"報告書.bin"), "%95%F1%8D%90%8F%91.bin"},
        {Sjis(u8"報告 書 #1.bin"), "%95%F1%8D%90%20%8F%91%20%231.bin"},
        {"100%.txt", "100%25.txt"},
        {"a?b\\c\"<>[]^`{|}.txt", "a%3Fb%5Cc%22%3C%3E%5B%5D%5E%60%7B%7C%7D.txt"},
        {"keep-._~!$&'()*+,;=:@x", "keep-._~!$&'()*+,;=:@x"},
        {std::string("\x7F\x01", 2), "%7F%01"},
    };
    for (const auto& [name, encoded] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(app::PercentEncodePath(name), encoded);
        EXPECT_EQ(app::DownloadAddress("http://h/~u/", name, false), "http://h/~u/" + encoded);
    }
    // A session that sent names as UTF-8 stored these bytes; a name without a UTF-8 form
    // keeps its own.
    EXPECT_EQ(app::DownloadAddress("http://h/", Sjis(u8"報告 書.bin"), true),
              "http://h/%E5%A0%B1%E5%91%8A%20%E6%9B%B8.bin");
    EXPECT_EQ(app::DownloadAddress("http://h/", "a\x81", true), "http://h/a%81");
}

TEST(DetailBlock, ExactTextsAndPlaceholders) {
    using platform::Sjis;
    const std::string rule = Sjis(u8"データ詳細=================================================");
    const std::string name = Sjis(u8"報告 書.doc");
    EXPECT_EQ(app::DetailBlock(name, 4096),
              (std::vector<std::string>{rule, Sjis(u8"【ファイル名】：") + name,
                                        Sjis(u8"【ファイル量】：4096ﾊﾞｲﾄ")}));
    EXPECT_EQ(app::DetailTemplateLines("http://h/d/"),
              (std::vector<std::string>{"", "http://h/d/****.***", "", rule,
                                        Sjis(u8"【ファイル名】：****.***"),
                                        Sjis(u8"【ファイル量】：******ﾊﾞｲﾄ")}));
}

TEST(ErrorLog, LineFormat) {
    std::tm t{};
    t.tm_year = 102;  // 2002
    t.tm_mon = 10;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 3;
    EXPECT_EQ(app::ErrorLogLine(t, "Upload failure"), "02/11/05 09:07:03:Upload failure");
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 58;
    EXPECT_EQ(app::ErrorLogLine(t, ""), "26/12/31 23:59:58:");
}

// True when line is "yy/mm/dd hh:mm:ss:" (digits in place) followed by message.
bool IsStampedLine(const std::string& line, const std::string& message) {
    const std::string shape = "00/00/00 00:00:00:";
    if (line.size() != shape.size() + message.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == '0' ? !digit : line[i] != shape[i]) return false;
    }
    return line.compare(shape.size(), std::string::npos, message) == 0;
}

TEST(ErrorLog, AppendsLinesWithCrLfAndCreatesTheFile) {
    apptest::TempDir dir;
    app::AppendErrorLog(dir.path(), "first");
    app::AppendErrorLog(dir.path(), "/a ChangeDir failure");
    const std::string text = dir.Read("ErrorLog.txt");
    const std::size_t end = text.find("\r\n");
    ASSERT_NE(end, std::string::npos) << text;
    EXPECT_TRUE(IsStampedLine(text.substr(0, end), "first")) << text;
    ASSERT_GE(text.size(), end + 4);
    EXPECT_TRUE(IsStampedLine(text.substr(end + 2, text.size() - end - 4), "/a ChangeDir failure"))
        << text;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(ErrorLog, AppendsToAFileWhoseNameDiffersInCase) {
    apptest::TempDir dir;
    dir.Write("errorlog.TXT", "old\r\n");
    app::AppendErrorLog(dir.path(), "x");
    EXPECT_FALSE(dir.Exists("ErrorLog.txt"));
    EXPECT_EQ(dir.Read("errorlog.TXT").substr(0, 5), "old\r\n");
}

}  // namespace

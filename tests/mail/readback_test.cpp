// Rendered messages read back by an independent parser (Python's email package).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "mail/orb_msg.h"
#include "peers/hex.h"
#include "platform/screen_text.h"
#include "recording_session.h"

namespace mail {
namespace {

const std::string kYamadaTaro = platform::Utf8ToSjis("山田太郎");
const std::string kSubject = platform::Utf8ToSjis("ファイルのお知らせ");
const std::string kLine1 = platform::Utf8ToSjis("こんにちは、世界");
const std::string kKana = platform::Utf8ToSjis("ｶﾞｲﾄﾞ");

using peers::Hex;

// Runs the reader over the message as a receiving server stores it (dot-stuffing undone).
std::multimap<std::string, std::string> ReadBack(const std::vector<std::string>& lines,
                                                 const std::filesystem::path& file) {
    {
        std::ofstream out(file, std::ios::binary);
        for (const auto& line : lines)
            out << (line.rfind("..", 0) == 0 ? line.substr(1) : line) << "\r\n";
    }
    const std::string command = "/usr/bin/python3 " FERNLAY_SOURCE_DIR
                                "/tests/mail/read_message.py " +
                                file.string() + " 2>&1";
    std::multimap<std::string, std::string> values;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return values;
    std::string output;
    char buffer[65536];
    for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, got);
    for (std::size_t start = 0; start < output.size();) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        const auto colon = line.find(": ");
        values.emplace(colon == std::string::npos ? "output" : line.substr(0, colon),
                       colon == std::string::npos ? line : line.substr(colon + 2));
    }
    EXPECT_EQ(pclose(pipe), 0);
    return values;
}

class ReadBackTest : public testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / ("fernlay_readback_" + std::to_string(::getpid()));
};

TEST_F(ReadBackTest, JapaneseMessageWithAttachments) {
    TOrbMsg m;
    m.JPName = kYamadaTaro;
    m.From = "taro@example.jp";
    m.SendTo = "hanako@example.jp";
    m.Subject = kSubject;
    m.CharSet = "ISO-2022-JP";
    m.Date = "Mon, 7 Dec 2026 06:43:15 +0900";
    m.Text = {kLine1, "", ".dot line", "http://example.jp/~user/a.zip", kKana};

    std::map<std::string, std::string> files;
    for (const auto& [name, size] : std::vector<std::pair<std::string, std::size_t>>{
             {"empty.bin", 0}, {"exact.dat", 57}, {"over.dat", 58}, {"big.dat", 70001}}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) % 256);
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        files[name] = bytes;
        m.AttachedFiles.AddFile((dir_ / name).string());
    }

    RecordingSession session;
    const auto lines = RenderMessage(session, m);
    ASSERT_TRUE(lines);
    const auto values = ReadBack(*lines, dir_ / "message.eml");

    auto one = [&](const std::string& key) {
        EXPECT_EQ(values.count(key), 1u) << key;
        const auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    };
    EXPECT_EQ(one("subject"), "\"ファイルのお知らせ\"");
    EXPECT_EQ(one("from_name"), "\"山田太郎\"");
    EXPECT_EQ(one("from_addr"), "\"taro@example.jp\"");
    // ASCII after kanji is ESC ( B: "~" stays a tilde for a strict reader.
    EXPECT_EQ(one("body"),
              "\"こんにちは、世界\\n\\n.dot line\\nhttp://example.jp/~user/a.zip\\nガイド\"");
    std::map<std::string, std::string> got;
    for (auto [it, end] = values.equal_range("attachment"); it != end; ++it) {
        const std::string v = it->second.substr(1, it->second.size() - 2);  // JSON quotes
        got[v.substr(0, v.find(' '))] = v.substr(v.find(' ') + 1);
    }
    EXPECT_EQ(got.size(), files.size());
    for (const auto& [name, bytes] : files) {
        EXPECT_TRUE(got[name] == Hex(bytes)) << name << ": " << got[name].size() / 2
                                             << " bytes read back, " << bytes.size() << " sent";
    }
    EXPECT_EQ(values.count("output"), 0u);
    EXPECT_EQ(values.count("defect"), 0u);
}

TEST_F(ReadBackTest, JapaneseRecipientsAndPlainBody) {
    TOrbMsg m;
    m.From = "taro@example.jp";
    m.SendTo = kYamadaTaro + "<hanako@example.jp>," + kYamadaTaro + "<jiro@example.jp>";
    m.Subject = "ASCII only";
    m.Date = "Mon, 7 Dec 2026 06:43:15 +0900";
    m.Text = {"plain ascii"};
    RecordingSession session;
    const auto lines = RenderMessage(session, m);
    ASSERT_TRUE(lines);
    const auto values = ReadBack(*lines, dir_ / "message.eml");
    EXPECT_EQ(values.find("subject")->second, "\"ASCII only\"");
    EXPECT_EQ(values.find("from_name")->second, "\"\"");
    EXPECT_EQ(values.find("to")->second,
              "\"山田太郎 hanako@example.jp, 山田太郎 jiro@example.jp\"");
    EXPECT_EQ(values.find("body")->second, "\"plain ascii\\n\"");
}

}  // namespace
}  // namespace mail

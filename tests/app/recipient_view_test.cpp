// What the recipient sees: sends through the workflow to vsftpd (which stores a name as the
// bytes it was sent) and aiosmtpd on 127.0.0.1; each received notification is decoded by
// Python's email package, glibc iconv and a browser-grade decoder (Node's TextDecoder), and its
// link is resolved as a browser does and fetched from a web server over the upload folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "peers/ftp_servers.h"
#include "peers/hex.h"
#include "send_fixture.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using platform::texts;

using Reading = std::map<std::string, std::string>;

// The blocks of "key<TAB>value" lines that recipient_view.py prints, one per message.
std::vector<Reading> ReadAsRecipient(const fs::path& rawDir, const fs::path& webRoot, int port,
                                     const std::string& prefix) {
    const std::string cmd = "/usr/bin/python3 '" + std::string(FERNLAY_SOURCE_DIR) +
                            "/tests/servers/recipient_view.py' '" + rawDir.string() + "' '" +
                            webRoot.string() + "' " + std::to_string(port) + " '" + prefix + "'";
    std::vector<Reading> readings(1);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {};
    char buf[65536];
    while (fgets(buf, sizeof buf, p)) {
        std::string line(buf);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (line == "--") {
            readings.emplace_back();
            continue;
        }
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos) readings.back()[line.substr(0, tab)] = line.substr(tab + 1);
    }
    pclose(p);
    readings.pop_back();
    return readings;
}

using peers::Hex;

bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

class RecipientViewTest : public ::testing::Test {
protected:
    TempDir data, work;
    HistoryView view;
    std::unique_ptr<app::MainScreen> screen;
    std::unique_ptr<ftptest::FtpServer> ftp;
    ftptest::ServerProcess smtp;
    int webPort = 0;

    void SetUp() override {
        ftp = ftptest::StartFtpServer(ftptest::Kind::Vsftpd);
        if (!ftp->error.empty()) FERNLAY_SERVER_UNAVAILABLE("vsftpd on 127.0.0.1: " + ftp->error);
        const std::string script =
            std::string(FERNLAY_SOURCE_DIR) + "/tests/servers/smtp_maildir.py";
        const int smtpPort = ftptest::FreePort();
        if (!smtp.Start({"/usr/bin/python3", script, std::to_string(smtpPort),
                         (work.path() / "mail").string()},
                        work.path() / "smtp.log") ||
            !ftptest::WaitForGreeting(smtpPort, 8000))
            FERNLAY_SERVER_UNAVAILABLE("aiosmtpd on 127.0.0.1 (see " +
                                       (work.path() / "smtp.log").string() + ")");
        webPort = ftptest::FreePort();

        settings::TSenderProfile p;
        p.Name = "web";
        p.FtpHost = "127.0.0.1";
        p.HostStartFolder = "/www";
        p.FtpUserId = ftp->user;
        p.FtpPassword = ftp->password;
        // Personal web space as usually typed: no scheme, a tilde.
        p.WwwAddress = "127.0.0.1:" + std::to_string(webPort) + "/~fern/";
        p.MailName = S("山田");
        p.MailAddress = "sender@example.test";
        p.SmtpServer = "127.0.0.1";
        p.PopAuth = "0";
        p.DirectoryFixed = "0";
        platform::WriteLines(data.path() / "User.Inf", {settings::FormatProfileLine(p)});
        platform::WriteLines(data.path() / "Defult.ini", {"[USER]", "DefaultAdress=web", "[FTP]",
                                                          "R1=1", "R2=0", "R3=1", "R4=0"});
        platform::WriteLines(data.path() / "Adress.dat", {S("田中") + ",tanaka@example.test"});
        platform::WriteLines(settings::HeaderPath(data.path(), "web"),
                             {S("いつもお世話になっております。"), S("ファイルをお送りします。")});
        platform::WriteLines(settings::FooterPath(data.path(), "web"), {S("山田商店　山田太郎")});
        settings::ConnectionStore connections(data.path());
        settings::TConnectionSettings ports;
        ports.FtpPort = ftp->port;
        ports.SmtpPort = smtpPort;
        connections.SetProfile("web", ports);
        connections.Save();
        screen = std::make_unique<app::MainScreen>(view, data.path());
        screen->StartUp();
        view.directoryText = "\\docs";
        screen->DirectoryFieldChanged();
    }

    // Sends a local file of that (UTF-8) name and content through the workflow.
    void Send(const std::string& name, const std::string& content) {
        const fs::path path = work.path() / "local" / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        view.openAnswers.push_back(path.string());
        screen->BrowseFile();
        view.yesNoAnswers = {true};
        app::SendJob job(*screen);
        job.StartSend();
        ASSERT_EQ(view.status, texts().StatusSendDone) << name;
    }

    std::vector<Reading> Received() {
        return ReadAsRecipient(work.path() / "mail" / "raw", ftp->root / "www", webPort, "/~fern/");
    }
};

TEST_F(RecipientViewTest, EveryDecoderReadsTheSameTextAndTheLinkDownloadsTheFile) {
    const std::vector<std::string> names = {"report.bin", "報告書.bin", "報告 書 #1.bin",
                                            "100%.txt"};
    std::vector<std::string> contents;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string content = "file " + std::to_string(i) + "\n";
        for (int b = 0; b < 256; ++b) content += static_cast<char>(b);
        contents.push_back(content);
        Send(names[i], content);
    }
    EXPECT_EQ(data.Read("ErrorLog.txt"), "");

    const auto readings = Received();
    ASSERT_EQ(readings.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        Reading r = readings[i];
        EXPECT_EQ(r["seven_bit"], "yes");
        // Three independent decoders, one text.
        EXPECT_EQ(r["iconv_body"], r["python_body"]);
        EXPECT_EQ(r["node_body"], r["python_body"]);
        EXPECT_TRUE(Contains(r["node_body"], "【ファイル名】：" + names[i])) << r["node_body"];
        EXPECT_TRUE(Contains(r["node_body"], "ファイルをお送りします。"));
        // The tilde stays a tilde, the link ends at the name, and it fetches the very file.
        EXPECT_EQ(
            r["link"].rfind("http://127.0.0.1:" + std::to_string(webPort) + "/~fern/docs/", 0), 0u)
            << r["link"];
        EXPECT_EQ(r["fetched"], Hex(contents[i])) << r["href"] << " " << r["fetch_error"];
        EXPECT_EQ(r["python_subject"], "データ送信の件");
        EXPECT_EQ(r["node_subject"], "データ送信の件");
        EXPECT_EQ(r["from_name"], "山田");
        EXPECT_EQ(r["from_addr"], "sender@example.test");
    }
}

// Names typed on Linux come as IBM extension codes; the browser-grade decoder reads them back
// in header, footer and subject.
TEST_F(RecipientViewTest, IbmExtensionNamesReadBackInTheBrowserDecoder) {
    view.header = {S("髙橋様、山﨑様")};
    view.footer = {S("纊・髙橋")};
    view.subject = S("髙橋様へ データ送信の件");
    Send("a.txt", "a");
    const auto readings = Received();
    ASSERT_EQ(readings.size(), 1u);
    Reading r = readings[0];
    EXPECT_EQ(r["seven_bit"], "yes");
    EXPECT_TRUE(Contains(r["node_body"], "髙橋様、山﨑様\\r\\n")) << r["node_body"];
    EXPECT_TRUE(Contains(r["node_body"], "纊・髙橋")) << r["node_body"];
    EXPECT_EQ(r["node_subject"], "髙橋様へ データ送信の件");
    EXPECT_EQ(r["fetched"], Hex("a"));
}

}  // namespace
}  // namespace apptest

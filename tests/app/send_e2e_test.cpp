// The send workflow against real servers on free ports of 127.0.0.1 (FTP, SMTP, POP3), which
// the profile's connection settings name.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/send_log.h"
#include "peers/ftp_peer.h"
#include "peers/ftp_servers.h"
#include "send_fixture.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using platform::texts;

bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

// The stored name as the bytes the client sent: Shift_JIS.
fs::path ServerFile(const LocalServers& s, const std::string& dir, const std::string& sjisName) {
    return s.FtpHome() / dir / fs::path(sjisName);
}

TEST_F(SendWorkflowTest, CompleteSendUploadsLogsAndMails) {
    WriteData({});
    START_SERVERS_OR_SKIP();
    StartScreen();
    ChooseFile(3000);
    SetDirectory("\\photos\\2026");
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    const std::string sjisName = S(localName.c_str());
    // Confirmation text with CR line breaks, and nothing else shown.
    ASSERT_EQ(view.messages.size(), 1u) << view.messages.back();
    EXPECT_EQ(view.messages[0], "\r" + S("【") + sjisName + S("】を") + "\r" + S("田中") +
                                    S("様宛に送信します。") + "\r" + S("よろしいですか？"));

    // Start folder and send directory were created below the log-in directory.
    const fs::path stored = ServerFile(*servers, "www/photos/2026", sjisName);
    ASSERT_TRUE(fs::exists(stored)) << "no file with the Shift_JIS name bytes";
    EXPECT_EQ(fs::file_size(stored), 3000u);

    EXPECT_TRUE(view.SawStatus(texts().StatusConnecting));
    EXPECT_TRUE(view.SawStatus(texts().StatusTransferring));
    EXPECT_TRUE(view.SawStatus("MakeDir success"));
    EXPECT_TRUE(view.SawStatus(texts().StatusMailSending));
    EXPECT_EQ(view.status, texts().StatusSendDone);
    EXPECT_EQ(view.progress, 0);
    EXPECT_TRUE(screen->State().ResendMode);
    EXPECT_TRUE(screen->State().TransferOk);
    EXPECT_EQ(screen->State().FileSize, 3000);
    // Inactive for the whole job, active again at its end.
    ASSERT_FALSE(view.enabledHistory.empty());
    EXPECT_FALSE(view.enabledHistory.front());
    EXPECT_TRUE(view.enabled);
    EXPECT_EQ(data.Read("ErrorLog.txt"), "");

    // The log record, written to Log.dat at exit.
    ASSERT_TRUE(screen->SaveOnExit());
    const auto logLines = platform::ReadLines(data.path() / "Log.dat");
    ASSERT_EQ(logLines.size(), 1u);
    const app::TLogRecord r = app::ParseLogRecord(logLines[0]);
    EXPECT_EQ(r.LoggedFileName, sjisName);
    EXPECT_EQ(r.LoggedRecipient, S("田中"));
    EXPECT_EQ(r.LoggedDirectory, "\\photos\\2026");
    EXPECT_EQ(r.LoggedProxyHost, "");
    EXPECT_EQ(r.LoggedProxyPort, "0");
    EXPECT_EQ(r.LoggedFtpHost, "127.0.0.1");
    EXPECT_EQ(r.LoggedFtpPort, std::to_string(servers->FtpPort()));
    EXPECT_EQ(r.LoggedFtpUserId, "fern");
    EXPECT_EQ(r.LoggedFtpPassword, settings::EncodePassword("ftppass"));
    EXPECT_EQ(r.LoggedStartFolder, "/www");
    EXPECT_EQ(r.LoggedFileSize, "3000");

    // The mail, as Python's email package reads it.
    const auto mails = ReadMailJson(servers->Maildir());
    ASSERT_EQ(mails.size(), 1u);
    const std::string& m = mails[0];
    EXPECT_TRUE(Contains(m, "\"subject\": \"データ送信の件\"")) << m;
    EXPECT_TRUE(Contains(m, "tanaka@example.test")) << m;
    EXPECT_TRUE(Contains(m, "sender@example.test")) << m;
    EXPECT_TRUE(
        Contains(m, "\"body\": \"" + headerText +
                        "\\n\\n"
                        "http://files.example.test/fern/photos/2026/%95%F1%8D%90%20%8F%91.txt"
                        "\\n\\nデータ詳細=================================================\\n"
                        "【ファイル名】：" +
                        localName +
                        "\\n"
                        "【ファイル量】：3000バイト\\n\\n" +
                        footerText))
        << m;

    // Pressing "送信" again repeats only the mail; POP before SMTP retrieves the mailbox,
    // which now holds the first notification, and deletes nothing.
    fs::remove(stored);
    view.yesNoAnswers = {true};
    job.StartSend();
    EXPECT_FALSE(fs::exists(stored)) << "the repeated send uploaded again";
    EXPECT_EQ(job.Mail().PopRetrieved(), 1);
    EXPECT_EQ(ReadMailJson(servers->Maildir()).size(), 2u);
    EXPECT_EQ(screen->LogList().size(), 1u);
}

TEST_F(SendWorkflowTest, ProgressShowsEverySecondDuringASlowUpload) {
    WriteData({.popAuth = "0"});
    // About four seconds for 16 MB; larger than what the socket buffers take in at once.
    START_SERVERS_OR_SKIP(false, 4000000);
    StartScreen();
    ChooseFile(16000000);
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();
    ASSERT_EQ(view.status, texts().StatusSendDone);

    const std::string prefix = S(localName.c_str()) + texts().ProgressMiddle;
    std::vector<std::string> ticks;
    for (const auto& s : view.statuses)
        if (s.rfind(prefix, 0) == 0) ticks.push_back(s);
    ASSERT_GE(ticks.size(), 2u) << "expected a progress text every second";
    EXPECT_FALSE(Contains(ticks.front(), texts().ProgressMiddle + "16000000"))
        << "the first tick should show a part of the file";
    EXPECT_TRUE(Contains(ticks.back(), texts().ProgressSlash + "16000000" + texts().ProgressEnd));
    int between = 0;
    for (int p : view.progressValues)
        if (p > 0 && p < 100) ++between;
    EXPECT_GE(between, 1) << "the progress bar never showed a part of the upload";
}

TEST_F(SendWorkflowTest, SecondSendRepeatsOnlyTheMail) {
    WriteData({.popAuth = "0"});
    START_SERVERS_OR_SKIP(false);
    StartScreen();
    ChooseFile(100);
    view.yesNoAnswers = {true, true};
    app::SendJob job(*screen);
    job.StartSend();
    const fs::path stored = ServerFile(*servers, "www", S(localName.c_str()));
    ASSERT_TRUE(fs::exists(stored));
    fs::remove(stored);

    job.StartSend();
    EXPECT_FALSE(fs::exists(stored)) << "the resend uploaded again";
    EXPECT_EQ(screen->LogList().size(), 1u);
    EXPECT_EQ(ReadMailJson(servers->Maildir()).size(), 2u);
    EXPECT_EQ(view.status, texts().StatusSendDone);
}

TEST_F(SendWorkflowTest, ResendChosenRightAfterStartSendsTheMail) {
    WriteData({.popAuth = "0"});
    app::LogRecordSource src;
    src.FileName = S("過去の資料.zip");
    src.RecipientName = S("鈴木");
    src.DirectoryText = "\\old";
    src.FtpHost = "127.0.0.1";
    src.FtpUserId = "fern";
    src.FtpPassword = "ftppass";
    src.StartFolder = "/www";
    src.FileSize = 4096;
    std::tm day{};
    day.tm_year = 102, day.tm_mon = 10, day.tm_mday = 5;
    platform::WriteLines(data.path() / "Log.dat", {app::MakeLogRecord(day, src)});
    START_SERVERS_OR_SKIP(false);
    StartScreen();
    ASSERT_FALSE(screen->State().TransferOk);

    ASSERT_TRUE(app::SelectResend(*screen, 1, 1));
    EXPECT_EQ(view.fileText, S("過去の資料.zip"));
    EXPECT_EQ(view.directoryText, "\\old");
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    EXPECT_TRUE(fs::is_empty(servers->FtpHome())) << "a resend must not touch the FTP server";
    const auto mails = ReadMailJson(servers->Maildir());
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(
        Contains(mails[0], "http://files.example.test/fern/old/%89%DF%8B%8E%82%CC%8E%91%97%BF.zip"))
        << mails[0];
    EXPECT_TRUE(Contains(mails[0], "【ファイル量】：4096バイト")) << mails[0];
    EXPECT_EQ(screen->LogList().size(), 1u);
}

// The SMTP server took the message, then refuses QUIT: the mail is out, so the send ends as done
// and the refusal goes to the error log only, without an alarming message.
TEST_F(SendWorkflowTest, RefusedSmtpQuitAfterDeliveryIsOnlyLogged) {
    using namespace peers;
    WriteData({.popAuth = "0"});
    WriteLoggedSend();
    auto smtp = SmtpPeer({Send("220 ready\r\n"), Expect(), Send("250 hi\r\n"),
                          Expect("MAIL FROM:<sender@example.test>"), Send("250 ok\r\n"),
                          Expect("RCPT TO:<tanaka@example.test>"), Send("250 ok\r\n"),
                          Expect("DATA"), Send("354 go\r\n"), ExpectUntil("."),
                          Send("250 queued\r\n"), Expect("QUIT"), Send("500 what\r\n")});
    StartScreen();
    ASSERT_TRUE(app::SelectResend(*screen, 1, 1));
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    ASSERT_TRUE(smtp->WaitDone());
    EXPECT_EQ(smtp->Errors(), std::vector<std::string>{});
    ASSERT_EQ(view.messages.size(), 1u) << "only the confirmation: " << view.messages.back();
    EXPECT_EQ(view.status, texts().StatusSendDone);
    EXPECT_TRUE(Contains(ErrorLog(), "what")) << ErrorLog();
}

TEST_F(SendWorkflowTest, DeletionRemovesTheUploadedFile) {
    WriteData({.popAuth = "0"});
    START_SERVERS_OR_SKIP(false);
    StartScreen();
    ChooseFile(500);
    SetDirectory("\\photos");
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();
    const fs::path stored = ServerFile(*servers, "www/photos", S(localName.c_str()));
    ASSERT_TRUE(fs::exists(stored));
    ASSERT_EQ(screen->LogList().size(), 1u);

    RecordingDeletionView dv;
    app::Deletion deletion(dv, screen->LogList(), screen->Environment(), screen->Connections(),
                           data.path());
    deletion.FillGrid();
    ASSERT_EQ(dv.rows.size(), 1u);
    EXPECT_EQ(dv.rows[0].FileName, S(localName.c_str()));
    EXPECT_EQ(deletion.DeleteRemoteData(), app::DeletionOutcome::Deleted);
    EXPECT_FALSE(fs::exists(stored));
    EXPECT_TRUE(fs::exists(stored.parent_path()));
    EXPECT_TRUE(screen->LogList().empty());
    EXPECT_EQ(dv.status, texts().StatusDeleteDone);
    ASSERT_EQ(dv.messages.size(), 1u);  // the confirmation only

    // Gone from Log.dat at exit as well.
    ASSERT_TRUE(screen->SaveOnExit());
    EXPECT_EQ(data.Read("Log.dat"), "");
}

TEST_F(SendWorkflowTest, MissingDirectoryWithoutCreateStopsBeforeUpload) {
    WriteData({.startFolder = "/a/b"});
    START_SERVERS_OR_SKIP();
    fs::create_directories(servers->FtpHome() / "a");
    StartScreen();
    screen->Environment().SelectKeepMissingDirectory();
    ChooseFile(10);
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    EXPECT_TRUE(view.SawStatus(texts().StatusNoSendDirectory));
    EXPECT_TRUE(view.SawMessage(texts().FtpErrorDisconnect));
    EXPECT_TRUE(Contains(ErrorLog(), ":/a/b ChangeDir failure\r\n")) << ErrorLog();
    EXPECT_FALSE(fs::exists(servers->FtpHome() / "a" / "b"));
    EXPECT_TRUE(screen->LogList().empty());
    EXPECT_TRUE(ReadMailJson(servers->Maildir()).empty());
    EXPECT_FALSE(screen->State().TransferOk);
    EXPECT_TRUE(view.enabled);
}

TEST_F(SendWorkflowTest, WrongFtpPasswordSaysSoAndSendsNothing) {
    WriteData({.ftpPassword = "wrong"});
    START_SERVERS_OR_SKIP();
    StartScreen();
    ChooseFile(10);
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    EXPECT_TRUE(view.SawMessage(texts().FtpConnectFailed));
    EXPECT_FALSE(view.SawMessage(texts().FtpErrorDisconnect));
    EXPECT_TRUE(screen->LogList().empty());
    EXPECT_TRUE(ReadMailJson(servers->Maildir()).empty());
    EXPECT_FALSE(screen->State().TransferOk);
    EXPECT_FALSE(screen->State().ResendMode);
    EXPECT_TRUE(view.enabled);
}

// The file is stored (226) before the server refuses QUIT: the upload still counts, is logged
// and announced. The FTP side is a scripted server reached as the proxy.
TEST_F(SendWorkflowTest, RefusedQuitAfterAStoredFileStillCountsTheUpload) {
    using namespace peers;
    WriteData({.popAuth = "0"});
    START_SERVERS_OR_SKIP(false);
    auto ch = std::make_shared<DataChannel>();
    // The profile's FTP port names the server behind the proxy.
    const std::string user = "USER fern@127.0.0.1:" + std::to_string(servers->FtpPort());
    ScriptedPeer ftp({Send("220 proxy ready\r\n"), Expect(user), Send("331 pass\r\n"),
                      Expect("PASS ftppass"), Send("230 in\r\n"), Expect("CWD www"),
                      Send("250 ok\r\n"), Expect("TYPE I"), Send("200 ok\r\n"), ExpectPort(ch),
                      Expect("STOR " + S(localName.c_str())), Send("150 go\r\n"), ReceiveData(ch),
                      Send("226 stored\r\n"), Expect("QUIT"), Send("500 what\r\n")});
    StartScreen();
    screen->Environment().SelectUseProxy();
    screen->Environment().ProxyHost = "127.0.0.1";
    screen->Environment().ProxyPort = ftp.Port();
    ChooseFile(10);
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    ASSERT_TRUE(ftp.WaitDone());
    EXPECT_EQ(ftp.Errors(), std::vector<std::string>{});
    EXPECT_EQ(ch->bytes, 10);
    EXPECT_FALSE(view.SawMessage(texts().FtpErrorDisconnect));
    EXPECT_EQ(screen->LogList().size(), 1u);
    EXPECT_EQ(ReadMailJson(servers->Maildir()).size(), 1u);
    EXPECT_TRUE(screen->State().ResendMode);
}

TEST_F(SendWorkflowTest, RefusedRecipientIsReportedAndTheUploadStays) {
    WriteData({.popAuth = "0", .recipient = "refused@example.test"});
    START_SERVERS_OR_SKIP(false);
    StartScreen();
    ChooseFile(10);
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_TRUE(Contains(view.messages[1], "Error: ")) << view.messages[1];
    EXPECT_TRUE(Contains(view.messages[1], "Recipient refused")) << view.messages[1];
    EXPECT_TRUE(Contains(ErrorLog(), "Recipient refused")) << ErrorLog();
    EXPECT_NE(view.status, texts().StatusSendDone);
    EXPECT_EQ(screen->LogList().size(), 1u);
    EXPECT_TRUE(ReadMailJson(servers->Maildir()).empty());
    // The next "送信" tries the mail again without uploading.
    EXPECT_TRUE(screen->State().ResendMode);
    EXPECT_TRUE(screen->State().TransferOk);
}

TEST_F(SendWorkflowTest, PopLoginFailureIsToldAndNoMailGoesOut) {
    WriteData({.popPassword = "wrong"});
    START_SERVERS_OR_SKIP();
    StartScreen();
    ChooseFile(10);
    view.yesNoAnswers = {true};
    app::SendJob job(*screen);
    job.StartSend();

    EXPECT_TRUE(view.SawMessage(texts().Pop3LoginFailed));
    EXPECT_TRUE(Contains(ErrorLog(), ":" + texts().Pop3LoginError + "\r\n"));
    EXPECT_EQ(view.status, texts().StatusMailConnecting);
    EXPECT_EQ(screen->LogList().size(), 1u);
    EXPECT_TRUE(ReadMailJson(servers->Maildir()).empty());
    EXPECT_TRUE(screen->State().ResendMode);
    EXPECT_TRUE(screen->State().TransferOk);
}

TEST_F(SendWorkflowTest, UnreachableMailServersAreTold) {
    // No server runs: nothing answers on the profile's SMTP and POP3 ports.
    struct Case {
        std::string popAuth;
        std::string message;
        std::string errorLog;
    } cases[] = {{"1", texts().Pop3ConnectFailed, texts().Pop3ConnectError},
                 {"0", texts().SmtpConnectFailed, "SMTP connection failure"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.popAuth);
        HistoryView v;
        WriteData({.popAuth = c.popAuth});
        ChangeConnection([](settings::TConnectionSettings& s) {
            s.SmtpPort = ftptest::FreePort();
            s.PopPort = ftptest::FreePort();
        });
        fs::remove(data.path() / "ErrorLog.txt");
        app::MainScreen s(v, data.path());
        s.StartUp();
        const auto path = work.path() / "x.txt";
        std::ofstream(path) << "x";
        v.openAnswers.push_back(path.string());
        s.BrowseFile();
        // Upload already done: a resend goes straight to the mail phase.
        s.State().ResendMode = true;
        s.State().TransferOk = true;
        v.yesNoAnswers = {true};
        app::SendJob job(s);
        job.StartSend();
        EXPECT_TRUE(v.SawMessage(c.message));
        EXPECT_TRUE(Contains(ErrorLog(), c.errorLog));
        EXPECT_FALSE(job.Mail().Delivered());
    }
}

}  // namespace
}  // namespace apptest

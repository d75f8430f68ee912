// The deletion window's logic against a scripted FTP server: the commands it sends, what
// happens to the log entry, and what the user is told.
#include "app/deletion.h"

#include <gtest/gtest.h>

#include <deque>

#include "app/send_log.h"
#include "peers/scripted_peer.h"
#include "platform/data_dir.h"
#include "platform/screen_text.h"
#include "platform/texts.h"
#include "settings/profile_store.h"
#include "temp_dir.h"

namespace apptest {
namespace {

using namespace peers;
using platform::texts;

class DeletionRecorder : public app::DeletionView {
public:
    std::vector<app::LogGridRow> rows;
    int selected = 0;
    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    std::deque<bool> answers;
    void SetGridRows(const std::vector<app::LogGridRow>& r) override { rows = r; }
    int SelectedRow() const override { return selected; }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    std::string Status() const override { return statuses.empty() ? "" : statuses.back(); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        messages.push_back(text);
        const bool a = !answers.empty() && answers.front();
        if (!answers.empty()) answers.pop_front();
        return a;
    }
};

std::string Record(int port, const std::string& startFolder, const std::string& directory,
                   const std::string& name, const std::string& day = "05") {
    app::LogRecordSource s;
    s.FileName = name;
    s.RecipientName = "Sales";
    s.DirectoryText = directory;
    s.FtpHost = "127.0.0.1";
    s.FtpPort = port;
    s.FtpUserId = "joe";
    s.FtpPassword = "secret";
    s.StartFolder = startFolder;
    s.FileSize = 10;
    std::tm t{};
    t.tm_year = 102, t.tm_mon = 10, t.tm_mday = std::stoi(day);
    return app::MakeLogRecord(t, s);
}

std::vector<Step> Login() {
    return {Send("220 ready\r\n"), Expect("USER joe"), Send("331 pass\r\n"), Expect("PASS secret"),
            Send("230 in\r\n")};
}
std::vector<Step> Cat(std::vector<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
const std::vector<Step> kQuit{Expect("QUIT"), Send("221 bye\r\n")};

struct DeletionCase {
    const char* name;
    std::string startFolder;
    std::string directory;
    std::vector<Step> server;  // after the log-in
    app::DeletionOutcome outcome;
    bool entryRemoved;
    std::vector<std::string> messages;  // after the confirmation
    std::string errorLog;               // text the error log must hold ("" = no file)
};

TEST(Deletion, WalksLikeTheUploadAndKeepsTheEntryUnlessTheFileIsGone) {
    const std::string name = platform::Utf8ToSjis("報告 書.txt");
    const auto& t = texts();
    const DeletionCase cases[] = {
        {"start folder and send directory, segment by segment",
         "/public_html/sub",
         "\\photos\\",
         Cat({{Expect("CWD public_html"), Send("250 ok\r\n"), Expect("CWD sub"), Send("250 ok\r\n"),
               Expect("CWD photos"), Send("250 ok\r\n"), Expect("TYPE I"), Send("200 ok\r\n"),
               Expect("DELE " + name), Send("250 gone\r\n")},
              kQuit}),
         app::DeletionOutcome::Deleted,
         true,
         {},
         ""},
        {"directory \\ stays in the start folder",
         "www",
         "\\",
         Cat({{Expect("CWD www"), Send("250 ok\r\n"), Expect("TYPE I"), Send("200 ok\r\n"),
               Expect("DELE " + name), Send("250 gone\r\n")},
              kQuit}),
         app::DeletionOutcome::Deleted,
         true,
         {},
         ""},
        {"missing send directory keeps the entry and says so",
         "www",
         "\\photos",
         Cat({{Expect("CWD www"), Send("250 ok\r\n"), Expect("CWD photos"),
               Send("550 No such directory\r\n")},
              kQuit}),
         app::DeletionOutcome::DirectoryMissing,
         false,
         {t.DeleteDirectoryMissing},
         "Delete Process ChangeDir failure"},
        {"file already gone on the server",
         "www",
         "",
         Cat({{Expect("CWD www"), Send("250 ok\r\n"), Expect("TYPE I"), Send("200 ok\r\n"),
               Expect("DELE " + name), Send("550 No such file\r\n")},
              kQuit}),
         app::DeletionOutcome::FileMissing,
         true,
         {t.FileMissing},
         "Delete Process Delete failure"},
        {"TYPE refused",
         "www",
         "",
         Cat({{Expect("CWD www"), Send("250 ok\r\n"), Expect("TYPE I"), Send("504 no\r\n")},
              kQuit}),
         app::DeletionOutcome::Failed,
         false,
         {t.DeleteFailed},
         "Delete Process DoCommand failure"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ScriptedPeer peer(Cat({Login(), c.server}));
        platform::SortedLineList log;
        const std::string other = Record(21, "www", "", "other.txt", "01");
        log.Add(other);
        log.Add(Record(peer.Port(), c.startFolder, c.directory, name));
        settings::TEnvironmentSettings env;
        DeletionRecorder view;
        settings::ConnectionStore connections(dir.path());
        app::Deletion deletion(view, log, env, connections, dir.path());
        deletion.FillGrid();
        view.selected = 2;
        view.answers = {true};
        EXPECT_EQ(deletion.DeleteRemoteData(), c.outcome);
        EXPECT_TRUE(peer.WaitDone());
        EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
        ASSERT_FALSE(view.messages.empty());
        EXPECT_EQ(view.messages.front(), "\r" + t.ConfirmOpen + name + t.ConfirmClose + "\r" +
                                             t.ConfirmDelete + "\r" + t.ConfirmQuestion);
        EXPECT_EQ(std::vector<std::string>(view.messages.begin() + 1, view.messages.end()),
                  c.messages);
        EXPECT_EQ(log.size(), c.entryRemoved ? 1u : 2u);
        EXPECT_EQ(log.at(0), other);
        EXPECT_EQ(view.rows.size(), c.entryRemoved ? 1u : 2u);
        if (c.errorLog.empty()) {
            EXPECT_FALSE(dir.Exists("ErrorLog.txt"));
        } else {
            EXPECT_NE(dir.Read("ErrorLog.txt").find(":" + c.errorLog + "\r\n"), std::string::npos)
                << dir.Read("ErrorLog.txt");
        }
        if (c.entryRemoved) {
            EXPECT_EQ(view.Status(), t.StatusDeleteDone);
        }
    }
}

TEST(Deletion, RefusedLogInIsToldAndTheEntryStays) {
    TempDir dir;
    ScriptedPeer peer({Send("220 ready\r\n"), Expect("USER joe"), Send("331 pass\r\n"),
                       Expect("PASS secret"), Send("530 Login incorrect.\r\n"), Expect("QUIT"),
                       Send("221 bye\r\n")});
    platform::SortedLineList log;
    log.Add(Record(peer.Port(), "www", "", "a.txt"));
    settings::TEnvironmentSettings env;
    DeletionRecorder view;
    settings::ConnectionStore connections(dir.path());
    app::Deletion deletion(view, log, env, connections, dir.path());
    deletion.FillGrid();
    view.selected = 1;
    view.answers = {true};
    EXPECT_EQ(deletion.DeleteRemoteData(), app::DeletionOutcome::ConnectFailed);
    EXPECT_TRUE(peer.WaitDone());
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1], texts().FtpConnectFailed);
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(view.Status(), texts().StatusConnecting);
}

// A record whose upload sent UTF-8 names is deleted by those bytes after FEAT and OPTS UTF8;
// removing a record, either way, drops its connection entry too.
TEST(Deletion, Utf8RecordIsDeletedByItsUtf8NameAndEntriesGoWithTheirRecords) {
    TempDir dir;
    const std::string name = platform::Utf8ToSjis("報告.txt");
    ScriptedPeer peer(
        Cat({Login(),
             {Expect("FEAT"), Send("211-Features:\r\n UTF8\r\n211 End\r\n"), Expect("OPTS UTF8 ON"),
              Send("200 ok\r\n"), Expect("CWD www"), Send("250 ok\r\n"), Expect("TYPE I"),
              Send("200 ok\r\n"), Expect("DELE 報告.txt"), Send("250 gone\r\n")},
             kQuit}));
    platform::SortedLineList log;
    const std::string utf8 = Record(peer.Port(), "www", "", name, "01");
    const std::string other = Record(1, "www", "", "other.txt", "02");
    log.Add(utf8);
    log.Add(other);
    settings::ConnectionStore connections(dir.path());
    connections.SetLogRecord(utf8,
                             {settings::TSecurity::None, settings::TNameRule::Automatic, true, ""});
    settings::TLoggedConnection tls;
    tls.FtpSecurity = settings::TSecurity::Explicit;
    connections.SetLogRecord(other, tls);
    settings::TEnvironmentSettings env;
    DeletionRecorder view;
    app::Deletion deletion(view, log, env, connections, dir.path());
    deletion.FillGrid();
    view.selected = 1;
    view.answers = {true};
    EXPECT_EQ(deletion.DeleteRemoteData(), app::DeletionOutcome::Deleted);
    EXPECT_TRUE(peer.WaitDone());
    EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
    EXPECT_EQ(connections.ForLogRecord(utf8), settings::TLoggedConnection{});
    ASSERT_EQ(log.size(), 1u);
    deletion.RemoveFromList();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(connections.ForLogRecord(other), settings::TLoggedConnection{});
}

TEST(Deletion, NothingHappensWithoutASelectedRecordOrWithNo) {
    TempDir dir;
    platform::SortedLineList log;
    settings::TEnvironmentSettings env;
    DeletionRecorder view;
    settings::ConnectionStore connections(dir.path());
    app::Deletion deletion(view, log, env, connections, dir.path());

    // Empty log: one blank row, and the buttons do nothing.
    deletion.FillGrid();
    ASSERT_EQ(view.rows, std::vector<app::LogGridRow>{app::LogGridRow{}});
    view.selected = 1;
    deletion.RemoveFromList();
    EXPECT_EQ(deletion.DeleteRemoteData(), app::DeletionOutcome::NotStarted);
    EXPECT_TRUE(view.messages.empty());

    // No: no connection is made (port 1 would refuse it anyway, and say so).
    log.Add(Record(1, "www", "", "a.txt"));
    log.Add(Record(1, "www", "", "b.txt"));
    deletion.FillGrid();
    view.answers = {false};
    EXPECT_EQ(deletion.DeleteRemoteData(), app::DeletionOutcome::NotStarted);
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.statuses.empty());
    EXPECT_EQ(log.size(), 2u);

    // Header row selected: nothing; a data row: removed from the list only.
    view.selected = 0;
    deletion.RemoveFromList();
    EXPECT_EQ(log.size(), 2u);
    view.selected = 1;
    deletion.RemoveFromList();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(app::ParseLogRecord(log.at(0)).LoggedFileName, "b.txt");
    deletion.RemoveFromList();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(view.rows, std::vector<app::LogGridRow>{app::LogGridRow{}});
}

TEST(Deletion, ProxyChoiceUsesTheProxyOfTheRecord) {
    TempDir dir;
    // The "proxy" is the scripted peer; the record names it, the environment names another.
    ScriptedPeer peer({Send("220 proxy\r\n"), Expect("USER joe@files.example.test"),
                       Send("331 pass\r\n"), Expect("PASS secret"), Send("230 in\r\n"),
                       Expect("CWD www"), Send("250 ok\r\n"), Expect("TYPE I"), Send("200 ok\r\n"),
                       Expect("DELE a.txt"), Send("250 gone\r\n"), Expect("QUIT"),
                       Send("221 bye\r\n")});
    app::TLogRecord r = app::ParseLogRecord(Record(21, "www", "", "a.txt"));
    r.LoggedProxyHost = "127.0.0.1";
    r.LoggedProxyPort = std::to_string(peer.Port());
    r.LoggedFtpHost = "files.example.test";
    platform::SortedLineList log;
    log.Add(app::FormatLogRecord(r));
    settings::TEnvironmentSettings env;
    env.SelectUseProxy();
    env.ProxyHost = "proxy.elsewhere.test";
    env.ProxyPort = 8021;
    DeletionRecorder view;
    settings::ConnectionStore connections(dir.path());
    app::Deletion deletion(view, log, env, connections, dir.path());
    deletion.FillGrid();
    view.selected = 1;
    view.answers = {true};
    EXPECT_EQ(deletion.DeleteRemoteData(), app::DeletionOutcome::Deleted);
    EXPECT_TRUE(peer.WaitDone());
    EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace apptest

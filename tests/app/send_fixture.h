#pragma once
// A data directory with one profile pointing at the local servers, one address entry, header
// and footer texts, and a main screen on a recording view that keeps every status text.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/deletion.h"
#include "app/main_screen.h"
#include "app/send_job.h"
#include "app/send_log.h"
#include "peers/require_server.h"
#include "peers/scripted_peer.h"
#include "platform/data_dir.h"
#include "platform/screen_text.h"
#include "platform/texts.h"
#include "recording_view.h"
#include "send_e2e_servers.h"
#include "settings/connection_settings.h"
#include "settings/profile_store.h"
#include "temp_dir.h"

namespace apptest {

inline std::string S(const char* utf8) { return platform::Utf8ToSjis(utf8); }

class HistoryView : public RecordingView {
public:
    std::vector<std::string> statuses;
    std::vector<int> progressValues;
    std::vector<bool> enabledHistory;
    void SetStatus(const std::string& text) override {
        RecordingView::SetStatus(text);
        statuses.push_back(text);
    }
    void SetProgress(int position) override {
        RecordingView::SetProgress(position);
        progressValues.push_back(position);
    }
    void SetScreenEnabled(bool on) override {
        RecordingView::SetScreenEnabled(on);
        enabledHistory.push_back(on);
    }
    bool SawStatus(const std::string& text) const {
        for (const auto& s : statuses)
            if (s == text) return true;
        return false;
    }
    bool SawMessage(const std::string& text) const {
        for (const auto& m : messages)
            if (m == text) return true;
        return false;
    }
};

// A deletion window that answers Yes and records what it was shown.
class RecordingDeletionView : public app::DeletionView {
public:
    std::vector<app::LogGridRow> rows;
    int selected = 1;
    std::string status;
    std::vector<std::string> messages;
    void SetGridRows(const std::vector<app::LogGridRow>& r) override { rows = r; }
    int SelectedRow() const override { return selected; }
    void SetStatus(const std::string& text) override { status = text; }
    std::string Status() const override { return status; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        messages.push_back(text);
        return true;
    }
};

struct ProfileOptions {
    std::string ftpUser = "fern";
    std::string ftpPassword = "ftppass";
    std::string popAuth = "1";
    std::string popPassword = "poppass";
    std::string recipient = "tanaka@example.test";
    std::string startFolder = "/www";
};

class SendWorkflowTest : public ::testing::Test {
protected:
    TempDir data;  // the program's data directory
    TempDir work;  // servers' files and the file to send
    HistoryView view;
    std::unique_ptr<app::MainScreen> screen;
    std::unique_ptr<LocalServers> servers;

    // UTF-8 text of the header and footer files and the local file's name.
    const std::string headerText = "いつもお世話になっております。";
    const std::string footerText = "山田商店　山田太郎";
    const std::string localName = "報告 書.txt";

    void WriteData(const ProfileOptions& o) {
        settings::TSenderProfile p;
        p.Name = "demo";
        p.FtpHost = "127.0.0.1";
        p.HostStartFolder = o.startFolder;
        p.FtpUserId = o.ftpUser;
        p.FtpPassword = o.ftpPassword;
        p.WwwAddress = "files.example.test/fern/";
        p.MailName = S("山田");
        p.MailAddress = "sender@example.test";
        p.ReplyAddress = "reply@example.test";
        p.SmtpServer = "127.0.0.1";
        p.PopAuth = o.popAuth;
        p.Pop3Server = "127.0.0.1";
        p.PopAccount = "popuser";
        p.PopPassword = o.popPassword;
        p.DirectoryFixed = "0";
        p.SendDirectory = "";
        platform::WriteLines(data.path() / "User.Inf", {settings::FormatProfileLine(p)});
        platform::WriteLines(data.path() / "Defult.ini", {"[USER]", "DefaultAdress=demo", "[FTP]",
                                                          "R1=1", "R2=0", "R3=1", "R4=0"});
        platform::WriteLines(data.path() / "Adress.dat", {S("田中") + "," + o.recipient});
        platform::WriteLines(settings::HeaderPath(data.path(), "demo"), {S(headerText.c_str())});
        platform::WriteLines(settings::FooterPath(data.path(), "demo"), {S(footerText.c_str())});
    }

    void StartScreen() {
        screen = std::make_unique<app::MainScreen>(view, data.path());
        screen->StartUp();
        ASSERT_TRUE(view.messages.empty()) << view.messages.front();
    }

    // The local file to send, chosen through the file dialog.
    void ChooseFile(std::size_t size) {
        const auto path = work.path() / localName;
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
        view.openAnswers.push_back(path.string());
        screen->BrowseFile();
    }

    void SetDirectory(const std::string& text) {
        view.directoryText = text;
        screen->DirectoryFieldChanged();
    }

    // Starts the servers and points the profile "demo" at their ports; false (and the test
    // skipped or failed) when they cannot run here.
    bool StartServers(bool withPop = true, int readLimit = 0) {
        servers = std::make_unique<LocalServers>(work.path() / "srv", withPop, readLimit);
        if (servers->Ready()) servers->WritePorts(data.path(), "demo");
        return servers->Ready();
    }

    // Changes the profile's entry in Connect.dat (before StartScreen).
    template <class Change>
    void ChangeConnection(Change change) {
        settings::ConnectionStore store(data.path());
        store.Load();
        settings::TConnectionSettings s = store.ForProfile("demo");
        change(s);
        store.SetProfile("demo", s);
        store.Save();
    }

    std::string ErrorLog() const { return data.Read("ErrorLog.txt"); }

    // Log.dat with one earlier send of "a.txt" to 鈴木, for a resend (row 1 of the log grid).
    void WriteLoggedSend() {
        app::LogRecordSource src;
        src.FileName = "a.txt";
        src.RecipientName = S("鈴木");
        src.FileSize = 1;
        platform::WriteLines(data.path() / "Log.dat", {app::MakeLogRecord(std::tm{}, src)});
    }

    // A scripted SMTP server on a free port, which the profile then uses.
    std::unique_ptr<peers::ScriptedPeer> SmtpPeer(std::vector<peers::Step> steps) {
        auto peer = std::make_unique<peers::ScriptedPeer>(std::move(steps));
        const int port = peer->Port();
        ChangeConnection([port](settings::TConnectionSettings& s) { s.SmtpPort = port; });
        return peer;
    }
};

#define START_SERVERS_OR_SKIP(...)                \
    do {                                          \
        if (!StartServers(__VA_ARGS__)) {         \
            FERNLAY_SERVER_UNAVAILABLE(           \
                "local FTP/SMTP/POP3 servers on " \
                "127.0.0.1: " +                   \
                servers->Problem());              \
        }                                         \
    } while (0)

}  // namespace apptest

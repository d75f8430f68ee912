// Log records, the log grid, the resend selection, the notification text and the send job's
// own texts.
#include "app/send_log.h"

#include <gtest/gtest.h>

#include "app/main_screen.h"
#include "app/notification.h"
#include "app/send_job.h"
#include "platform/data_dir.h"
#include "platform/error.h"
#include "platform/screen_text.h"
#include "platform/texts.h"
#include "recording_view.h"
#include "settings/profile_store.h"
#include "temp_dir.h"

namespace apptest {
namespace {

using platform::texts;
std::string S(const char* utf8) { return platform::Utf8ToSjis(utf8); }

std::tm Day(int year, int month, int day) {
    std::tm t{};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
    return t;
}

TEST(SendLog, RecordOfAnUpload) {
    app::LogRecordSource s;
    s.FileName = "report.xls";
    s.RecipientName = "Sales";
    s.DirectoryText = "\\";
    s.FtpHost = "H";
    s.FtpUserId = "u";
    s.FtpPassword = "P";
    s.StartFolder = "/www";
    s.FileSize = 4096;
    EXPECT_EQ(
        app::MakeLogRecord(Day(2002, 11, 5), s),
        "02/11/05,report.xls,Sales,\\,,0,H,21,u," + settings::EncodePassword("P") + ",/www,4096");
    EXPECT_EQ(app::SendDateText(Day(1999, 1, 9)), "99/01/09");
    EXPECT_EQ(app::SendDateText(Day(2000, 12, 31)), "00/12/31");

    // The same upload twice on one day is one record; the list is in date-text order.
    platform::SortedLineList log;
    app::AppendLogRecord(log, Day(2002, 11, 5), s);
    app::AppendLogRecord(log, Day(2002, 11, 5), s);
    app::AppendLogRecord(log, Day(1999, 3, 1), s);
    app::AppendLogRecord(log, Day(2000, 3, 1), s);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.at(0).substr(0, 8), "00/03/01");
    EXPECT_EQ(log.at(1).substr(0, 8), "02/11/05");
    EXPECT_EQ(log.at(2).substr(0, 8), "99/03/01");

    // A line break in any text would end the record early and start a bogus one.
    std::string app::LogRecordSource::*texts[] = {
        &app::LogRecordSource::FileName,      &app::LogRecordSource::RecipientName,
        &app::LogRecordSource::DirectoryText, &app::LogRecordSource::ProxyHost,
        &app::LogRecordSource::FtpHost,       &app::LogRecordSource::FtpUserId,
        &app::LogRecordSource::StartFolder};
    const std::string breaks[] = {"\r", "\n", std::string(1, '\0')};
    for (auto member : texts) {
        for (const std::string& bad : breaks) {
            app::LogRecordSource hostile = s;
            hostile.*member += bad + "03/01/01,x";
            EXPECT_THROW(app::AppendLogRecord(log, Day(2003, 1, 1), hostile), platform::Error);
        }
    }
    EXPECT_EQ(log.size(), 3u);
}

TEST(SendLog, ParseRoundTripsAndShiftsOnCommas) {
    app::TLogRecord r;
    r.SendDate = "02/11/05";
    r.LoggedFileName = S("報告書.doc");
    r.LoggedRecipient = S("営業");
    r.LoggedDirectory = S("\\写真");
    r.LoggedProxyHost = "proxy";
    r.LoggedProxyPort = "8021";
    r.LoggedFtpHost = "h";
    r.LoggedFtpPort = "21";
    r.LoggedFtpUserId = "u";
    r.LoggedFtpPassword = "0420";
    r.LoggedStartFolder = "/www";
    r.LoggedFileSize = "1";
    EXPECT_EQ(app::ParseLogRecord(app::FormatLogRecord(r)), r);

    struct Case {
        std::string line;
        std::string name, recipient, directory, size;
    } cases[] = {
        // A "," in the file name moves every later field by one.
        {"02/11/05,a,b.txt,Sales,\\,,0,h,21,u,0420,/www,10", "a", "b.txt", "Sales", "/www"},
        // Too few fields: the last one repeats.
        {"02/11/05,x.txt,Sales", "x.txt", "Sales", "Sales", "Sales"},
        {"", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto p = app::ParseLogRecord(c.line);
        EXPECT_EQ(p.LoggedFileName, c.name);
        EXPECT_EQ(p.LoggedRecipient, c.recipient);
        EXPECT_EQ(p.LoggedDirectory, c.directory);
        EXPECT_EQ(p.LoggedFileSize, c.size);
    }
}

TEST(SendLog, GridRows) {
    platform::SortedLineList log;
    auto empty = app::FillLogGrid(log);
    EXPECT_EQ(empty.ShownCount, 0u);
    EXPECT_EQ(empty.Rows, std::vector<app::LogGridRow>{app::LogGridRow{}});

    log.Add("02/11/05,a,b.txt,Sales,\\,,0,h,21,u,0420,/www,10");
    log.Add("01/01/01,z.txt,Bob,\\,,0,h,21,u,0420,/www,10");
    auto grid = app::FillLogGrid(log);
    EXPECT_EQ(grid.ShownCount, 2u);
    EXPECT_EQ(grid.Rows, (std::vector<app::LogGridRow>{{"01/01/01", "z.txt", "Bob"},
                                                       {"02/11/05", "a", "b.txt"}}));
}

class ResendTest : public ::testing::Test {
protected:
    TempDir data;
    RecordingView view;
    std::unique_ptr<app::MainScreen> screen;

    void Start(const std::vector<std::string>& log) {
        platform::WriteLines(data.path() / "Log.dat", log);
        screen = std::make_unique<app::MainScreen>(view, data.path());
        screen->StartUp();
    }
};

TEST_F(ResendTest, ChoosingAnEntryPreparesAMailOnlySend) {
    Start({S("02/11/05,報告.xls,Sales,\\photos,,0,h,21,u,0420,/www,4096")});
    ASSERT_FALSE(screen->State().TransferOk);
    screen->State().LocalPath = "/home/u/other.bin";  // chosen before through "参照"
    EXPECT_TRUE(app::SelectResend(*screen, 1, 1));
    EXPECT_EQ(screen->State().FileName, S("報告.xls"));
    // The earlier file must never go out under the logged name if resend mode ends by an edit.
    EXPECT_EQ(screen->State().LocalPath, "");
    EXPECT_EQ(view.fileText, S("報告.xls"));
    EXPECT_EQ(view.directoryText, "\\photos");
    EXPECT_EQ(screen->State().FileSize, 4096);
    EXPECT_TRUE(screen->State().ResendMode);
    EXPECT_TRUE(screen->State().TransferOk) << "a resend right after start must open the mail gate";

    // Changing the sender profile ends resend mode again.
    screen->SenderTextChanged();
    EXPECT_FALSE(screen->State().ResendMode);
}

TEST_F(ResendTest, HeaderRowEmptyLogAndBadSize) {
    Start({"02/11/05,a.txt,Sales,\\,,0,h,21,u,0420,/www,12x"});
    screen->State().ResendMode = true;
    // Header row or nothing shown: the window just closes, resend mode off.
    EXPECT_TRUE(app::SelectResend(*screen, 0, 1));
    EXPECT_FALSE(screen->State().ResendMode);
    screen->State().ResendMode = true;
    EXPECT_TRUE(app::SelectResend(*screen, 1, 0));
    EXPECT_FALSE(screen->State().ResendMode);
    // A size that is not a number: message, window stays open, resend mode stays off.
    EXPECT_FALSE(app::SelectResend(*screen, 1, 1));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].find("12x"), std::string::npos);
    EXPECT_FALSE(screen->State().ResendMode);
}

TEST(Notification, BodyAndPreview) {
    const std::string base = "http://h/~u/";
    const auto body =
        app::ComposeNotification({"Hello", "there"}, base, S("報告 書.doc"), 4096, {"Bye"}, false);
    const std::vector<std::string> expected{"Hello",
                                            "there",
                                            "",
                                            base + "%95%F1%8D%90%20%8F%91.doc",
                                            "",
                                            texts().DetailRule,
                                            texts().DetailFileName + S("報告 書.doc"),
                                            S("【ファイル量】：4096ﾊﾞｲﾄ"),
                                            "",
                                            "Bye"};
    EXPECT_EQ(body, expected);
    // Empty header and footer: the body starts and ends with its empty lines.
    const auto bare = app::ComposeNotification({}, base, "a.zip", 1, {}, false);
    EXPECT_EQ(bare.front(), "");
    EXPECT_EQ(bare.back(), "");
    EXPECT_EQ(bare.size(), 7u);

    const auto preview = app::PreviewLines({"Hello"}, base, {"Bye"});
    const std::vector<std::string> placeholder{"Hello",
                                               "",
                                               base + "****.***",
                                               "",
                                               texts().DetailRule,
                                               texts().DetailFileName + "****.***",
                                               S("【ファイル量】：******ﾊﾞｲﾄ"),
                                               "",
                                               "Bye"};
    EXPECT_EQ(preview, placeholder);
}

TEST(SendTexts, ProgressAndConfirmation) {
    EXPECT_EQ(app::ProgressText("a.txt", 2048, 3000), S("a.txtを転送中（2048ﾊﾞｲﾄ／3000ﾊﾞｲﾄ）"));
    EXPECT_EQ(app::ProgressText("b", 0, 5000000000LL), S("bを転送中（0ﾊﾞｲﾄ／5000000000ﾊﾞｲﾄ）"));
    EXPECT_EQ(app::SendConfirmation("r.xls", S("営業")),
              S("\r【r.xls】を\r営業様宛に送信します。\rよろしいですか？"));
}

TEST(SendTexts, FtpReportsOnTheStatusLineAndInTheErrorLog) {
    struct Case {
        ftp::TCmdType code;
        std::string onSuccess;  // status after a success report ("" = unchanged)
        std::string onFailure;  // status and error-log line after a failure ("" = nothing)
    } cases[] = {
        {ftp::TransChangeDir, "ChangeDir success", ""},
        {ftp::TransMakeDir, "MakeDir success", "MakeDir failure"},
        {ftp::TransDelete, "Delete success", "Delete failure"},
        {ftp::TransRemoveDir, "RemoveDir success", "RemoveDir failure"},
        {ftp::TransUploadRestore, "UPloadRestore success", "UPloadRestore failure"},
        {ftp::TransUpload, texts().StatusSendDone, "Upload failure"},
        {ftp::TransUploadAppend, "UploadAppend success", "UploadAppend failure"},
        {ftp::TransDoCommand, "DoCommand success", "DoCommand failure"},
        {ftp::TransPrintDir, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.code));
        TempDir data;
        RecordingView view;
        app::MainScreen screen(view, data.path());
        app::SendJob job(screen);
        view.status = "before";
        screen.State().TransferOk = false;
        job.Ftp().OnSuccess(&job.Ftp(), c.code);
        EXPECT_EQ(view.status, c.onSuccess.empty() ? "before" : c.onSuccess);
        // The reports decide nothing: the upload's outcome alone opens the mail phase.
        EXPECT_FALSE(screen.State().TransferOk);

        view.status = "before";
        screen.State().TransferOk = true;
        bool handled = false;
        job.Ftp().OnFailure(&job.Ftp(), handled, c.code);
        EXPECT_FALSE(handled);
        EXPECT_TRUE(screen.State().TransferOk);
        EXPECT_EQ(view.status, c.onFailure.empty() ? "before" : c.onFailure);
        EXPECT_EQ(data.Read("ErrorLog.txt").find(":" + c.onFailure + "\r\n") != std::string::npos,
                  !c.onFailure.empty())
            << data.Read("ErrorLog.txt");
    }
}

TEST(SendChecks, FileAndRecipientAreCheckedBeforeAnyQuestion) {
    struct Case {
        const char* name;
        bool withAddress;
        bool withFile;
        std::string message;
    } cases[] = {
        {"no file first", true, false, texts().CheckSendFile},
        {"no file and no address: the file message", false, false, texts().CheckSendFile},
        {"file but no address", false, true,
         texts().RegisterAddressFirst + "\r\n" + texts().RegisterAddressThenSend},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir data;
        if (c.withAddress) platform::WriteLines(data.path() / "Adress.dat", {"A,a@example.test"});
        data.Write("f.txt", "x");
        RecordingView view;
        app::MainScreen screen(view, data.path());
        screen.StartUp();
        if (c.withFile) {
            view.openAnswers.push_back((data.path() / "f.txt").string());
            screen.BrowseFile();
        }
        app::SendJob job(screen);
        job.StartSend();
        EXPECT_EQ(view.messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(view.enabled);
        EXPECT_FALSE(job.Running());
    }

    // Answering No leaves everything as it was.
    TempDir data;
    platform::WriteLines(data.path() / "Adress.dat", {"A,a@example.test"});
    data.Write("f.txt", "x");
    RecordingView view;
    app::MainScreen screen(view, data.path());
    screen.StartUp();
    view.openAnswers.push_back((data.path() / "f.txt").string());
    screen.BrowseFile();
    view.yesNoAnswers = {false};
    app::SendJob job(screen);
    job.StartSend();
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.status, "");
    EXPECT_FALSE(screen.State().ResendMode);
    EXPECT_TRUE(view.enabled);
    EXPECT_TRUE(screen.LogList().empty());
}

}  // namespace
}  // namespace apptest

#include "app/main_screen.h"

#include <gtest/gtest.h>

#include "platform/data_dir.h"
#include "platform/ini_file.h"
#include "platform/texts.h"
#include "recording_view.h"
#include "temp_dir.h"

namespace {

using platform::Sjis;

// A current-layout profile line: name, host, start folder, user, password (encoded, empty
// here), web address, mail name, mail address, reply, SMTP, POP flag, POP3 server, account,
// POP password, directory fixed, send directory.
std::string ProfileLine(const std::string& name, const std::string& host, const std::string& fixed,
                        const std::string& dir, const std::string& www = "www.example/~u/") {
    return name + "," + host + ",/pub,user,," + www +
           ",Me,me@example,me@example,smtp.example,0,"
           "pop.example,me,," +
           fixed + "," + dir;
}

class MainScreenTest : public ::testing::Test {
protected:
    apptest::TempDir dir;
    apptest::RecordingView view;
    std::unique_ptr<app::MainScreen> screen;

    void Start() {
        screen = std::make_unique<app::MainScreen>(view, dir.path());
        screen->StartUp();
    }
    std::string Ini(const char* section, const char* key) const {
        return platform::IniFile(dir.path() / "Defult.ini").ReadString(section, key, "<missing>");
    }
};

TEST_F(MainScreenTest, FirstStartWithNoDataFiles) {
    Start();
    const auto& t = platform::texts();
    EXPECT_EQ(view.senderItems, std::vector<std::string>{t.NotRegistered});
    EXPECT_EQ(view.SenderText(), t.NotRegistered);
    EXPECT_EQ(view.recipientItems, std::vector<std::string>{t.NotRegistered});
    EXPECT_EQ(view.recipientIndex, 0);
    EXPECT_TRUE(view.header.empty());
    EXPECT_TRUE(view.detail.empty());
    EXPECT_TRUE(view.footer.empty());
    EXPECT_EQ(view.fileText, Sjis(u8"ﾌｧｲﾙを選択して下さい。"));
    EXPECT_EQ(view.subject, Sjis(u8"データ送信の件"));
    EXPECT_FALSE(view.directoryFixed);
    EXPECT_TRUE(view.messages.empty());
    // Created at start, empty.
    EXPECT_TRUE(dir.Exists("User.Inf"));
    EXPECT_EQ(dir.Read("User.Inf"), "");
    EXPECT_TRUE(dir.Exists("Adress.dat"));
    EXPECT_EQ(dir.Read("Adress.dat"), "");
    EXPECT_FALSE(dir.Exists("Log.dat"));

    ASSERT_TRUE(screen->SaveOnExit());
    EXPECT_EQ(Ini("USER", "DefaultAdress"), "");
    EXPECT_EQ(Ini("FTP", "R1"), "1");
    EXPECT_EQ(Ini("FTP", "R2"), "0");
    EXPECT_EQ(Ini("FTP", "R3"), "1");
    EXPECT_EQ(Ini("FTP", "R4"), "0");
    EXPECT_NE(dir.Read("Defult.ini").find("\r\n"), std::string::npos);
    EXPECT_EQ(dir.Read("User.Inf"), "");
    EXPECT_EQ(dir.Read("Adress.dat"), "");
    EXPECT_TRUE(dir.Exists("Log.dat"));
    EXPECT_EQ(dir.Read("Log.dat"), "");
}

TEST_F(MainScreenTest, ListsAreWrittenBackUnchangedAndTheProxyIsForgotten) {
    const std::string users = ProfileLine("A", "a.example", "0", "") + "\r\n" +
                              ProfileLine(Sjis(u8"営業"), "b.example", "1", "\\out") + "\r\n";
    // Sorted: single-byte letters before double-byte characters.
    const std::string addresses = "zz,z@example,x\r\n" + Sjis(u8"山田,yamada@example") + "\r\n";
    const std::string log = "line one\r\nline two\r\n";
    dir.Write("User.Inf", users);
    dir.Write("Adress.dat", addresses);
    dir.Write("Log.dat", log);
    dir.Write("Defult.ini",
              "[USER]\r\nDefaultAdress=A\r\n[FTP]\r\nR1=0\r\nR2=1\r\nR3=0\r\nR4=1\r\n");
    Start();
    ASSERT_TRUE(view.messages.empty());
    EXPECT_EQ(view.recipientItems,
              (std::vector<std::string>{"zz [z@example,x]", Sjis(u8"山田 [yamada@example]")}));
    EXPECT_EQ(screen->LogList().size(), 2u);
    screen->Environment().ProxyHost = "proxy.example";
    screen->Environment().ProxyPort = 8021;

    ASSERT_TRUE(screen->SaveOnExit());
    EXPECT_EQ(dir.Read("User.Inf"), users);
    EXPECT_EQ(dir.Read("Adress.dat"), addresses);
    EXPECT_EQ(dir.Read("Log.dat"), log);
    EXPECT_EQ(Ini("USER", "DefaultAdress"), "A");
    EXPECT_EQ(Ini("FTP", "R2"), "1");
    EXPECT_EQ(Ini("FTP", "R4"), "1");
    EXPECT_EQ(dir.Read("Defult.ini").find("proxy.example"), std::string::npos);

    apptest::RecordingView second;
    app::MainScreen again(second, dir.path());
    again.StartUp();
    EXPECT_TRUE(again.Environment().UseProxy);
    EXPECT_EQ(again.Environment().ProxyHost, "");
    EXPECT_EQ(again.Environment().ProxyPort, 0);
}

struct StandardCase {
    const char* standard;
    int index;
    const char* host;
};

TEST(MainScreenStandardProfile, SelectionTable) {
    // Sorted order: A, B (b1), B (b2), C.
    const StandardCase cases[] = {
        {"", 0, "a"},                        // no standard name
        {"nobody", 0, "a"},                  // no match: the first profile
        {"C", 3, "c"},      {"B", 2, "b2"},  // two matches: the later one, and its settings load
        {"b", 0, "a"},                       // letter case counts
    };
    for (const auto& c : cases) {
        apptest::TempDir dir;
        dir.Write("User.Inf", ProfileLine("C", "c", "0", "") + "\r\n" +
                                  ProfileLine("B", "b2", "0", "") + "\r\n" +
                                  ProfileLine("A", "a", "0", "") + "\r\n" +
                                  ProfileLine("B", "b1", "0", "") + "\r\n");
        dir.Write("Defult.ini", std::string("[USER]\r\nDefaultAdress=") + c.standard + "\r\n");
        apptest::RecordingView view;
        app::MainScreen screen(view, dir.path());
        screen.StartUp();
        EXPECT_EQ(view.senderItems, (std::vector<std::string>{"A", "B", "B", "C"}));
        EXPECT_EQ(view.senderIndex, c.index) << c.standard;
        EXPECT_EQ(screen.State().CurrentProfile.FtpHost, c.host) << c.standard;
    }
}

TEST_F(MainScreenTest, FixedAndChangeableDirectory) {
    dir.Write("User.Inf", ProfileLine("Fixed", "f", "1", "\\data", "www.example/~u/") + "\r\n" +
                              ProfileLine("Free", "g", "0", "\\ignored", "/w.example/x") + "\r\n");
    dir.Write("Defult.ini", "[USER]\r\nDefaultAdress=Fixed\r\n");
    Start();
    EXPECT_EQ(view.directoryText, "\\data");
    EXPECT_TRUE(view.directoryFixed);
    EXPECT_EQ(screen->State().DirectoryText, "\\data");
    EXPECT_EQ(screen->State().DownloadBase, "http://www.example/~u/data/");
    EXPECT_EQ(view.detail.at(1), "http://www.example/~u/data/****.***");

    screen->State().ResendMode = true;
    view.TypeSender("Free");
    screen->SenderTextChanged();
    EXPECT_EQ(view.directoryText, "\\");
    EXPECT_FALSE(view.directoryFixed);
    EXPECT_EQ(screen->State().CurrentProfile.FtpHost, "g");
    EXPECT_EQ(screen->State().DownloadBase, "http://w.example/x/");
    EXPECT_FALSE(screen->State().ResendMode);

    // Back to the fixed one.
    view.TypeSender("Fixed");
    screen->SenderTextChanged();
    EXPECT_EQ(view.directoryText, "\\data");
    EXPECT_TRUE(view.directoryFixed);
}

// The detail area (and so the preview) encodes the directory as the profile's name rule will
// send it: UTF-8 for "automatic", Shift_JIS otherwise.
TEST_F(MainScreenTest, DetailAreaFollowsTheNameRule) {
    const std::string photos = Sjis(u8"\\写真");
    dir.Write("User.Inf", ProfileLine("Auto", "a", "1", photos) + "\r\n" +
                              ProfileLine("Sjis", "s", "1", photos) + "\r\n");
    dir.Write("Defult.ini", "[USER]\r\nDefaultAdress=Auto\r\n");
    dir.Write("Connect.dat", "P\tAuto\tftp.names=auto\r\n");
    Start();
    EXPECT_TRUE(screen->State().Utf8Names);
    EXPECT_EQ(view.detail.at(1), "http://www.example/~u/%E5%86%99%E7%9C%9F/****.***");
    view.TypeSender("Sjis");
    screen->SenderTextChanged();
    EXPECT_FALSE(screen->State().Utf8Names);
    EXPECT_EQ(view.detail.at(1), "http://www.example/~u/%8E%CA%90%5E/****.***");
}

TEST_F(MainScreenTest, ProfileTextsFollowTheSenderSelector) {
    const std::string eigyo = Sjis(u8"営業");
    dir.Write("User.Inf",
              ProfileLine("A", "a", "0", "") + "\r\n" + ProfileLine(eigyo, "e", "0", "") + "\r\n");
    dir.Write("Defult.ini", "[USER]\r\nDefaultAdress=" + eigyo + "\r\n");
    dir.Write("営業.hed", Sjis(u8"いつもお世話になります。") + "\r\nline2\r\n");
    dir.Write("営業.FOT", "bye\n");  // any letter case, LF only
    dir.Write("a.hed", "A header\r\n");
    Start();
    EXPECT_EQ(view.header, (std::vector<std::string>{Sjis(u8"いつもお世話になります。"), "line2"}));
    EXPECT_EQ(view.footer, std::vector<std::string>{"bye"});
    ASSERT_EQ(view.detail.size(), 6u);

    // A hand edit is replaced whenever the texts load again.
    view.header = {"edited"};
    view.TypeSender("A");
    screen->SenderTextChanged();
    EXPECT_EQ(view.header, std::vector<std::string>{"A header"});
    EXPECT_TRUE(view.footer.empty());
    view.TypeSender(eigyo);
    screen->SenderTextChanged();
    EXPECT_EQ(view.header.at(1), "line2");

    // Text naming no profile keeps the profile but shows that name's files.
    dir.Write("typed.hed", "typed header\r\n");
    view.TypeSender("typed");
    screen->SenderTextChanged();
    EXPECT_EQ(screen->State().CurrentProfile.FtpHost, "e");
    EXPECT_EQ(view.header, std::vector<std::string>{"typed header"});
}

TEST(MainScreenProfileTexts, TypedPathsLoadNoFileOutsideOrInsideSubfolders) {
    apptest::TempDir root;
    const auto data = root.path() / "data";
    std::filesystem::create_directories(data / "sub");
    root.Write("x.hed", "outside\r\n");
    root.Write("data/sub/y.hed", "in a subfolder\r\n");
    root.Write("data/User.Inf", ProfileLine("A", "a", "0", "") + "\r\n");
    root.Write("data/bad\x01.hed", "control\r\n");
    for (const char* typed : {"../x", "..\\x", "sub/y", "bad\x01"}) {
        apptest::RecordingView view;
        app::MainScreen screen(view, data);
        screen.StartUp();
        view.TypeSender(typed);
        screen.SenderTextChanged();
        EXPECT_TRUE(view.header.empty()) << typed;
        EXPECT_EQ(view.detail.size(), 6u) << typed;
        EXPECT_TRUE(view.messages.empty()) << typed;
    }
}

TEST_F(MainScreenTest, BrowseFileTakesNameAfterTheLastSlash) {
    Start();
    auto& state = screen->State();
    view.status = "old status";
    state.ResendMode = true;
    view.openAnswers = {std::string("/work/report.xls"), std::string("/tmp/報告 書\\v2.doc")};
    screen->BrowseFile();
    EXPECT_EQ(view.fileText, "/work/report.xls");
    EXPECT_EQ(state.FileName, "report.xls");
    EXPECT_EQ(state.LocalPath, "/work/report.xls");
    EXPECT_FALSE(state.ResendMode);
    EXPECT_EQ(view.status, "");

    screen->BrowseFile();  // "\" is an ordinary character here; texts are held in Shift_JIS
    EXPECT_EQ(state.FileName, Sjis(u8"報告 書\\v2.doc"));
    EXPECT_EQ(state.LocalPath, Sjis(u8"/tmp/報告 書\\v2.doc"));
    EXPECT_EQ(view.fileText, state.LocalPath);
}

TEST_F(MainScreenTest, BrowseFileCancelAndUnrepresentableNamesChangeNothing) {
    Start();
    auto& state = screen->State();
    state.FileName = "kept.txt";
    state.LocalPath = "/kept.txt";
    state.ResendMode = true;
    view.openAnswers = {std::nullopt, std::string("/tmp/\xF0\x9F\x98\x80.txt"),
                        std::string("/tmp/\xFF\xFE.bin")};
    for (int i = 0; i < 3; ++i) screen->BrowseFile();
    EXPECT_EQ(state.FileName, "kept.txt");
    EXPECT_EQ(state.LocalPath, "/kept.txt");
    EXPECT_TRUE(state.ResendMode);
    EXPECT_EQ(view.fileText, Sjis(u8"ﾌｧｲﾙを選択して下さい。"));
    EXPECT_EQ(view.messages, (std::vector<std::string>(2, platform::texts().FileNameNotSjis)));
}

TEST_F(MainScreenTest, FieldChangesSwitchResendModeAndTransferOk) {
    Start();
    auto& state = screen->State();
    state.FileName = "a.zip";
    state.ResendMode = true;
    view.status = "done";
    view.fileText = "a.zip";  // a resend puts the logged name into the field
    screen->FileFieldChanged();
    EXPECT_TRUE(state.ResendMode);
    EXPECT_EQ(view.status, "");
    view.fileText = "/other/a.zip";
    screen->FileFieldChanged();
    EXPECT_FALSE(state.ResendMode);

    state.ResendMode = true;
    screen->DirectoryFieldChanged();
    EXPECT_FALSE(state.ResendMode);

    EXPECT_FALSE(state.TransferOk);
    screen->RecipientChanged();
    EXPECT_TRUE(state.TransferOk);
}

TEST_F(MainScreenTest, RecipientSelectorRefillsAfterTheBookChanges) {
    Start();
    screen->Addresses().Add({"Bob", "bob@example"});
    screen->Addresses().Add({"Al", "al@example"});
    view.recipientIndex = 1;
    screen->FillRecipientSelector();
    // The file was missing at start: insertion order for this run.
    EXPECT_EQ(view.recipientItems,
              (std::vector<std::string>{"Bob [bob@example]", "Al [al@example]"}));
    EXPECT_EQ(view.recipientIndex, 0);
}

TEST_F(MainScreenTest, ReadFailureAtStartSkipsTheRemainingSteps) {
    std::filesystem::create_directories(dir.path() / "Adress.dat");  // exists, cannot be read
    dir.Write("User.Inf", ProfileLine("A", "a", "0", "") + "\r\n");
    Start();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.senderItems, std::vector<std::string>{"A"});
    EXPECT_TRUE(view.recipientItems.empty());
    EXPECT_NE(view.fileText, Sjis(u8"ﾌｧｲﾙを選択して下さい。"));
}

TEST_F(MainScreenTest, WriteFailureAtExitStopsAndKeepsTheOlderFiles) {
    dir.Write("Adress.dat", "old,old@example\r\n");
    Start();
    screen->Addresses().Add({"new", "new@example"});
    // Defult.ini is the first rename, User.Inf the second.
    platform::faults::FailNthRename(2);
    EXPECT_FALSE(screen->SaveOnExit());
    platform::faults::Reset();
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(dir.Read("Adress.dat"), "old,old@example\r\n");
    EXPECT_FALSE(dir.Exists("Log.dat"));

    ASSERT_TRUE(screen->SaveOnExit());  // still open: a later close writes everything
    EXPECT_EQ(dir.Read("Adress.dat"), "new,new@example\r\nold,old@example\r\n");
}

}  // namespace

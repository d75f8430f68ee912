#include "app/main_screen.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>

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
    // A line break in a name would split the STOR command and the log record.
    view.openAnswers = {std::nullopt, std::string("/tmp/\xF0\x9F\x98\x80.txt"),
                        std::string("/tmp/\xFF\xFE.bin"), std::string("/tmp/a\nQUIT.txt"),
                        std::string("/tmp/a\rb.txt")};
    for (int i = 0; i < 5; ++i) screen->BrowseFile();
    EXPECT_EQ(state.FileName, "kept.txt");
    EXPECT_EQ(state.LocalPath, "/kept.txt");
    EXPECT_TRUE(state.ResendMode);
    EXPECT_EQ(view.fileText, Sjis(u8"ﾌｧｲﾙを選択して下さい。"));
    const std::string lineBreak =
        Sjis(u8"「送信ﾌｧｲﾙ」に改行などの制御文字が含まれているため送信できません。");
    EXPECT_EQ(view.messages,
              (std::vector<std::string>{platform::texts().FileNameNotSjis,
                                        platform::texts().FileNameNotSjis, lineBreak, lineBreak}));
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

// Runs body in a child process as the unprivileged user 65534 when the test runs as root, so
// that file permissions hold; otherwise in this process. Returns what body saw.
std::vector<std::string> AsUnprivileged(const std::function<std::vector<std::string>()>& body) {
    if (::geteuid() != 0) return body();
    int fds[2];
    if (::pipe(fds) != 0) return {"pipe failed"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        // Whatever happens, the child must end here and never go on with the other tests.
        std::string out;
        try {
            for (const std::string& s : body()) out += s + '\x1f';
        } catch (const std::exception& e) {
            out += std::string("exception: ") + e.what() + '\x1f';
        } catch (...) {
            out += "exception\x1f";
        }
        for (std::size_t done = 0; done < out.size();) {
            const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) ::_exit(3);
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string in;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) in.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::vector<std::string> seen;
    for (std::size_t start = 0, end; (end = in.find('\x1f', start)) != std::string::npos;
         start = end + 1)
        seen.push_back(in.substr(start, end - start));
    return seen;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One data file cannot be read at start: the start goes on with the others, the user is told,
// and at exit that file is left byte for byte while every other one is written.
TEST(MainScreenStartAndExit, AFileUnreadableAtStartIsLeftAloneAndTheRestLoadsAndSaves) {
    const auto& t = platform::texts();
    const std::vector<std::pair<std::string, std::string>> files = {
        {"Defult.ini", "[USER]\r\nDefaultAdress=B\r\n[FTP]\r\nR1=1\r\nR2=0\r\nR3=1\r\nR4=0\r\n"},
        {"User.Inf",
         ProfileLine("A", "a", "0", "") + "\r\n" + ProfileLine("B", "b", "0", "") + "\r\n"},
        {"Adress.dat", "old,old@example\r\n"},
        {"Log.dat", "02/11/05,a.txt,old,\\,,0,h,21,u,,/pub,1\r\n"},
        {"Connect.dat", "P\tB\tftp.port=2121\r\n"},
        {"B.hed", "header of B\r\n"},
    };
    // What each file holds after the edits below were written.
    const std::map<std::string, std::string> written = {
        {"Defult.ini", "R2=1"},      {"User.Inf", "C,c,"},         {"Adress.dat", "new,new@x"},
        {"Log.dat", "03/01/01,new"}, {"Connect.dat", "passive=1"},
    };
    struct Case {
        const char* file;
        bool directory;  // a directory in its place, else a file without read permission
    };
    const Case cases[] = {{"Defult.ini", false}, {"User.Inf", false},    {"Adress.dat", false},
                          {"Log.dat", false},    {"Connect.dat", false}, {"B.hed", false},
                          {"Adress.dat", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.directory ? " (directory)" : ""));
        apptest::TempDir dir;
        std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
        for (const auto& [name, bytes] : files) {
            if (name == c.file && c.directory)
                std::filesystem::create_directory(dir.path() / name);
            else
                dir.Write(name, bytes);
        }
        if (!c.directory) ::chmod((dir.path() / c.file).c_str(), 0);

        const auto seen = AsUnprivileged([&] {
            apptest::RecordingView view;
            app::MainScreen screen(view, dir.path());
            screen.StartUp();
            std::vector<std::string> out = {"recipients=" + view.recipientItems.at(0),
                                            "header=" + (view.header.empty() ? "" : view.header[0]),
                                            "file=" + view.fileText};
            screen.Addresses().Add({"new", "new@x"});
            screen.Environment().SelectUseProxy();
            screen.Profiles().AddProfile(
                settings::ParseProfileLine(ProfileLine("C", "c", "0", "")));
            screen.LogList().Add("03/01/01,new.txt,new,\\,,0,h,21,u,,/pub,2");
            screen.Connections().SetPassive(true);
            out.push_back(screen.SaveOnExit() ? "saved" : "not saved");
            out.insert(out.end(), view.messages.begin(), view.messages.end());
            return out;
        });
        ASSERT_GE(seen.size(), 5u);
        const std::string file = c.file;
        EXPECT_EQ(seen[0],
                  "recipients=" + (file == "Adress.dat" ? t.NotRegistered : "old [old@example]"));
        // Without Defult.ini the standard profile is unknown and the first one, A, is shown.
        const bool noHeader = file == "User.Inf" || file == "B.hed" || file == "Defult.ini";
        EXPECT_EQ(seen[1], noHeader ? "header=" : "header=header of B");
        EXPECT_EQ(seen[2], "file=" + t.SelectFilePrompt);
        EXPECT_EQ(seen[3], "saved");
        // The start's message names the file and says it is left alone; the exit's says the
        // changes made to it were not saved.
        const std::string quoted = t.FieldOpen + file + t.FieldClose;
        EXPECT_TRUE(Contains(seen[4], quoted + (file == "B.hed" ? t.ReadFailed : t.ReadFailedKept)))
            << seen[4];
        if (file == "B.hed") {
            EXPECT_EQ(seen.size(), 5u);
        } else {
            ASSERT_EQ(seen.size(), 6u);
            EXPECT_EQ(seen[5], quoted + t.UnreadNotSaved);
        }

        if (!c.directory) ::chmod((dir.path() / c.file).c_str(), 0600);
        for (const auto& [name, bytes] : files) {
            if (name == file) {
                if (c.directory)
                    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / name));
                else
                    EXPECT_EQ(dir.Read(name), bytes) << name << " was written";
            } else if (written.count(name)) {
                EXPECT_TRUE(Contains(dir.Read(name), written.at(name))) << name << " not written";
            }
        }
    }
}

// A file that cannot be written at exit is named; every other one is written and the
// program may close.
TEST_F(MainScreenTest, WriteFailureAtExitIsNamedAndEveryOtherFileIsWritten) {
    const auto& t = platform::texts();
    const std::string users = ProfileLine("A", "a", "0", "") + "\r\n";
    dir.Write("User.Inf", users);
    dir.Write("Adress.dat", "old,old@example\r\n");
    Start();
    screen->Addresses().Add({"new", "new@example"});
    screen->Profiles().AddProfile(settings::ParseProfileLine(ProfileLine("B", "b", "0", "")));
    // Defult.ini is the first rename, User.Inf the second.
    platform::faults::FailNthRename(2);
    EXPECT_FALSE(screen->SaveOnExit());
    platform::faults::Reset();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(Contains(view.messages[0], t.FieldOpen + "User.Inf" + t.FieldClose + t.SaveFailed));
    EXPECT_TRUE(Contains(view.messages[0], t.OthersSaved));
    EXPECT_EQ(dir.Read("User.Inf"), users);
    EXPECT_EQ(dir.Read("Adress.dat"), "new,new@example\r\nold,old@example\r\n");
    EXPECT_TRUE(dir.Exists("Log.dat"));
    EXPECT_EQ(Ini("FTP", "R1"), "1");
    EXPECT_TRUE(Contains(dir.Read("ErrorLog.txt"), "Save failure: Cannot replace"));

    // Nothing at all could be written (a full disk): no claim that others were saved.
    view.messages.clear();
    screen->Connections().SetPassive(true);
    const char* all[] = {"Defult.ini", "User.Inf", "Adress.dat", "Log.dat", "Connect.dat"};
    for (const char* name : all) {
        std::filesystem::remove(dir.path() / name);
        std::filesystem::create_directory(dir.path() / name);
    }
    EXPECT_FALSE(screen->SaveOnExit());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_FALSE(Contains(view.messages[0], t.OthersSaved));
    for (const char* name : all)
        EXPECT_TRUE(Contains(view.messages[0], t.FieldOpen + name + t.FieldClose + t.SaveFailed));
}

// A kill during a write leaves ".<file>.XXXXXX" behind, a whole copy of the file.
TEST_F(MainScreenTest, StaleTemporariesFromAnEarlierKillAreRemovedAtStart) {
    dir.Write("User.Inf", ProfileLine("A", "a", "0", "") + "\r\n");
    for (const char* stale : {".User.Inf.k3Jx9Q", ".Defult.ini.000000", ".adress.dat.AbCdEf",
                              ".Log.dat.zzzzzz", ".Connect.dat.Q1w2E3", ".A.hed.aaaaaa"})
        dir.Write(stale, "copy with passwords");
    for (const char* other : {".profile.Ab12Cd", ".User.Inf.bak", "notes.txt"})
        dir.Write(other, "not ours");
    Start();
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".User.Inf.bak", ".profile.Ab12Cd", "Adress.dat",
                                              "User.Inf", "notes.txt"}));
}

// Files written by an old editor with a bare CR at each line end read line by line.
TEST_F(MainScreenTest, BareCrLineEndsReadAsLineEndsInEveryDataFile) {
    dir.Write("Defult.ini", "[USER]\rDefaultAdress=B\r[FTP]\rR1=0\rR2=1\r");
    dir.Write("User.Inf",
              ProfileLine("A", "a", "0", "") + "\r" + ProfileLine("B", "b", "1", "\\out") + "\r");
    dir.Write("Adress.dat", "a,a@example\rb,b@example\r");
    dir.Write("Log.dat", "02/11/05,a.txt\r02/11/06,b.txt\r");
    dir.Write("B.hed", "one\rtwo\r");
    Start();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.SenderText(), "B");
    EXPECT_EQ(view.directoryText, "\\out");
    EXPECT_EQ(view.recipientItems, (std::vector<std::string>{"a [a@example]", "b [b@example]"}));
    EXPECT_EQ(screen->LogList().size(), 2u);
    EXPECT_EQ(view.header, (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(screen->Environment().UseProxy);
    ASSERT_TRUE(screen->SaveOnExit());
    // The standard profile name and the choices survive the write back.
    EXPECT_EQ(Ini("USER", "DefaultAdress"), "B");
    EXPECT_EQ(Ini("FTP", "R2"), "1");
    EXPECT_EQ(dir.Read("Adress.dat"), "a,a@example\r\nb,b@example\r\n");
}

}  // namespace

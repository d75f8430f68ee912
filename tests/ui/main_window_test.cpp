#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "platform/ini_file.h"
#include "ui/termination_signals.h"

namespace {

namespace fs = std::filesystem;

QString U(const char8_t* text) { return QString::fromUtf8(reinterpret_cast<const char*>(text)); }

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        path_ = fs::temp_directory_path() /
                ("fernlay-ui-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string Ini(const char* section, const char* key) const {
        return platform::IniFile(path_ / "Defult.ini").ReadString(section, key, "<missing>");
    }

private:
    fs::path path_;
};

template <class W>
W* Named(QWidget* root, const QString& name) {
    for (W* w : root->findChildren<W*>())
        if (w->accessibleName() == name) return w;
    return nullptr;
}

// Waits up to two seconds, running the event loop, until done() holds.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return done();
}

// Hands the next modal screen to act (which must close it) once it is shown; records what
// it saw so the test can assert after the modal loop returns.
void OnNextModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(modal);
        if (modal->isVisible()) modal->close();
    });
    timer->start();
}

// A 16-field profile line.
std::string Profile(const std::string& name, const std::string& fixed, const std::string& dir) {
    return name + ",h,/pub,u,,www.example/~u/,Me,me@x,me@x,smtp,0,pop,me,," + fixed + "," + dir;
}

TEST(MainWindow, FirstStartWithNoDataFilesThroughTheWindow) {
    TempDir dir;
    {
        ui::MainWindow window(dir.path());
        EXPECT_EQ(window.windowTitle(), "Fernlay");
        EXPECT_EQ(window.size(), QSize(557, 516));
        EXPECT_EQ(window.minimumSize(), window.maximumSize());

        auto* sender = Named<QComboBox>(&window, U(u8"送信者"));
        auto* recipient = Named<QComboBox>(&window, U(u8"送信先"));
        auto* file = Named<QLineEdit>(&window, U(u8"送信ﾌｧｲﾙ"));
        auto* directory = Named<QLineEdit>(&window, U(u8"送信ﾃﾞｨﾚｸﾄﾘ"));
        auto* subject = Named<QLineEdit>(&window, U(u8"件  名"));
        ASSERT_TRUE(sender && recipient && file && directory && subject);
        EXPECT_TRUE(sender->isEditable());
        EXPECT_EQ(sender->count(), 1);
        EXPECT_EQ(sender->currentText(), U(u8"未登録"));
        EXPECT_EQ(recipient->count(), 1);
        EXPECT_EQ(recipient->currentText(), U(u8"未登録"));
        EXPECT_TRUE(file->isReadOnly());
        EXPECT_EQ(file->text(), U(u8"ﾌｧｲﾙを選択して下さい。"));
        EXPECT_EQ(subject->text(), U(u8"データ送信の件"));
        for (const char8_t* area : {u8"ヘッダー", u8"データ詳細", u8"フッター"}) {
            auto* memo = Named<QPlainTextEdit>(&window, U(area));
            ASSERT_TRUE(memo);
            EXPECT_TRUE(memo->toPlainText().isEmpty());
        }
        EXPECT_TRUE(Named<QPlainTextEdit>(&window, U(u8"データ詳細"))->isReadOnly());
        auto* progress = window.findChild<QProgressBar*>();
        ASSERT_TRUE(progress);
        EXPECT_EQ(progress->minimum(), 0);
        EXPECT_EQ(progress->maximum(), 100);
        EXPECT_EQ(Named<QLabel>(&window, U(u8"ステータス"))->width(), 300);

        // Eight image buttons in order, each hint text under its icon.
        auto* toolbar = window.findChild<QToolBar*>();
        ASSERT_TRUE(toolbar);
        const QList<QAction*> actions = toolbar->actions();
        const QStringList hints{U(u8"送信"),     U(u8"削除"), U(u8"再送信"),  U(u8"ﾌﾟﾚﾋﾞｭｰ"),
                                U(u8"環境設定"), U(u8"終了"), U(u8"ﾊﾞｰｼﾞｮﾝ"), U(u8"ヘルプ")};
        ASSERT_EQ(actions.size(), hints.size());
        EXPECT_EQ(toolbar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        for (int i = 0; i < hints.size(); ++i) {
            EXPECT_EQ(actions[i]->text(), hints[i]);
            EXPECT_TRUE(actions[i]->toolTip().startsWith(hints[i]));
            EXPECT_FALSE(actions[i]->icon().isNull());
            EXPECT_TRUE(actions[i]->isEnabled()) << hints[i].toStdString();
        }

        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const QPoint offCentre =
            window.frameGeometry().center() - window.screen()->availableGeometry().center();
        EXPECT_LE(offCentre.manhattanLength(), 2);
        EXPECT_EQ(dir.Read("User.Inf"), "");
        EXPECT_EQ(dir.Read("Adress.dat"), "");
        EXPECT_TRUE(window.close());  // the close box
    }
    EXPECT_EQ(dir.Ini("USER", "DefaultAdress"), "");
    EXPECT_EQ(dir.Ini("FTP", "R1"), "1");
    EXPECT_EQ(dir.Ini("FTP", "R2"), "0");
    EXPECT_EQ(dir.Ini("FTP", "R3"), "1");
    EXPECT_EQ(dir.Ini("FTP", "R4"), "0");
    EXPECT_TRUE(fs::exists(dir.path() / "Log.dat"));
}

TEST(MainWindow, EveryControlCarriesAnAccessibleName) {
    TempDir dir;
    ui::MainWindow window(dir.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QStringList unnamed;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                             qobject_cast<QProgressBar*>(w);
        // A combo box's own line edit is reached through the combo box.
        if (!control || !w->isVisible() || qobject_cast<QComboBox*>(w->parentWidget())) continue;
        if (w->accessibleName().isEmpty()) unnamed << w->metaObject()->className();
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();

    QStringList toolNames;
    for (QToolButton* b : window.findChild<QToolBar*>()->findChildren<QToolButton*>())
        if (b->isVisible()) toolNames << b->accessibleName();
    EXPECT_EQ(toolNames,
              (QStringList{U(u8"送信"), U(u8"削除"), U(u8"再送信"), U(u8"ﾌﾟﾚﾋﾞｭｰ"), U(u8"環境設定"),
                           U(u8"終了"), U(u8"ﾊﾞｰｼﾞｮﾝ"), U(u8"ヘルプ")}));
    // The two "編集" buttons differ by name.
    for (const char8_t* name : {u8"送信者を編集", u8"送信先を編集"}) {
        auto* edit = Named<QPushButton>(&window, U(name));
        ASSERT_TRUE(edit) << reinterpret_cast<const char*>(name);
        EXPECT_EQ(edit->text(), U(u8"編集"));
    }
    EXPECT_TRUE(Named<QPushButton>(&window, U(u8"参照")));
    window.hide();
}

TEST(MainWindow, DirectoryFieldFollowsTheChosenProfile) {
    TempDir dir;
    dir.Write("User.Inf",
              Profile("Fixed", "1", "\\data") + "\r\n" + Profile("Free", "0", "") + "\r\n");
    dir.Write("Defult.ini", "[USER]\r\nDefaultAdress=Fixed\r\n");
    dir.Write("Free.hed", "free header\r\n");
    ui::MainWindow window(dir.path());
    auto* sender = Named<QComboBox>(&window, U(u8"送信者"));
    auto* directory = Named<QLineEdit>(&window, U(u8"送信ﾃﾞｨﾚｸﾄﾘ"));
    auto* header = Named<QPlainTextEdit>(&window, U(u8"ヘッダー"));
    EXPECT_EQ(sender->currentText(), "Fixed");
    EXPECT_EQ(directory->text(), "\\data");
    EXPECT_TRUE(directory->isReadOnly());
    EXPECT_NE(directory->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(window.DetailLines().at(1), "http://www.example/~u/data/****.***");

    sender->setCurrentIndex(1);  // a user's choice reaches the logic through the signal
    EXPECT_EQ(directory->text(), "\\");
    EXPECT_FALSE(directory->isReadOnly());
    EXPECT_EQ(directory->palette().color(QPalette::Base), QColor(Qt::white));
    // While the window is disabled (a send runs) the field greys out like its neighbours.
    EXPECT_EQ(directory->palette().color(QPalette::Disabled, QPalette::Base),
              QApplication::palette().color(QPalette::Disabled, QPalette::Base));
    EXPECT_EQ(header->toPlainText(), "free header\n");

    window.Screen().State().ResendMode = true;
    QTest::keyClicks(directory, "sub");
    EXPECT_FALSE(window.Screen().State().ResendMode);
    EXPECT_EQ(window.DirectoryText(), "\\sub");
    // The detail area follows the typing, each of its lines on one line.
    EXPECT_EQ(window.DetailLines().at(1), "http://www.example/~u/sub/****.***");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QTextDocument* detail = Named<QPlainTextEdit>(&window, U(u8"データ詳細"))->document();
    EXPECT_EQ(detail->lineCount(), detail->blockCount());
    window.hide();

    // Typed text is a change of the sender selector too; a path loads no file.
    dir.Write("../escape.hed", "outside\r\n");
    sender->setEditText("../escape");
    EXPECT_TRUE(header->toPlainText().isEmpty());
    fs::remove(dir.path().parent_path() / "escape.hed");
}

TEST(MainWindow, ClickIntoTheFileFieldActsLikeBrowse) {
    TempDir dir;
    ui::MainWindow window(dir.path());
    window.FileDialog = [](QWidget*) { return U(u8"/home/u/報告書.pdf"); };
    auto* file = Named<QLineEdit>(&window, U(u8"送信ﾌｧｲﾙ"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(file, Qt::LeftButton);
    EXPECT_EQ(file->text(), U(u8"/home/u/報告書.pdf"));
    EXPECT_EQ(window.Screen().State().LocalPath, "/home/u/\x95\xF1\x8D\x90\x8F\x91.pdf");
    EXPECT_EQ(window.Screen().State().FileName, "\x95\xF1\x8D\x90\x8F\x91.pdf");

    window.FileDialog = [](QWidget*) { return QString(); };  // cancelled
    QTest::mouseClick(Named<QPushButton>(&window, U(u8"参照")), Qt::LeftButton);
    EXPECT_EQ(file->text(), U(u8"/home/u/報告書.pdf"));
    window.hide();
}

// Closes every modal screen that shows up while it lives and keeps the texts of its message
// boxes, so a test that expects none cannot hang on one.
class ModalWatch {
public:
    ModalWatch() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible()) return;
            if (auto* box = qobject_cast<QMessageBox*>(modal)) seen << box->text();
            modal->close();
        });
        timer_.start();
    }
    QStringList seen;

private:
    QTimer timer_;
};

// What this process writes to standard error while it lives.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        saved_ = ::dup(2);
        file_ = std::tmpfile();
        ::dup2(::fileno(file_), 2);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        std::fclose(file_);
    }
    QString Text() const {
        std::fflush(stderr);
        std::string text;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
        return QString::fromUtf8(text.c_str());
    }

private:
    int saved_ = -1;
    std::FILE* file_ = nullptr;
};

// A file that cannot be written at close is named; every other file is written and the
// window closes: after the message for the close box, without any message box for SIGTERM
// (nobody may be there to answer it; the text goes to standard error).
TEST(MainWindow, FailedSaveNamesTheFileWritesTheRestAndCloses) {
    const QString failed = U(u8"「Defult.ini」を保存できませんでした。");
    for (const bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "SIGTERM" : "close box");
        TempDir dir;
        dir.Write("Adress.dat", "a,a@example\r\n");
        ui::MainWindow window(dir.path());
        window.InstallTerminationHandlers();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.Screen().Addresses().Add({"b", "b@example"});
        fs::create_directories(dir.path() / "Defult.ini");  // cannot be replaced now
        ModalWatch watch;
        if (bySignal) {
            StderrCapture err;
            ::raise(SIGTERM);
            EXPECT_TRUE(WaitFor([&] { return !window.isVisible(); }));
            EXPECT_TRUE(watch.seen.isEmpty()) << watch.seen.join("|").toStdString();
            EXPECT_TRUE(err.Text().contains(failed)) << err.Text().toStdString();
        } else {
            EXPECT_TRUE(window.close());
            ASSERT_EQ(watch.seen.size(), 1);
            EXPECT_TRUE(watch.seen[0].contains(failed)) << watch.seen[0].toStdString();
            EXPECT_TRUE(watch.seen[0].contains(U(u8"ほかのファイルは保存しました。")));
        }
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(dir.Read("Adress.dat"), "a,a@example\r\nb,b@example\r\n");
        EXPECT_TRUE(fs::exists(dir.path() / "Log.dat"));
        EXPECT_TRUE(fs::is_directory(dir.path() / "Defult.ini"));
    }
}

// A full disk at close: nothing can be written, every file keeps its old bytes, no temporary
// is left, and the window still closes. On a small tmpfs where the test may mount one, else
// in a folder without write permission.
TEST(MainWindow, FullFileSystemAtCloseKeepsTheOldFilesAndCloses) {
    TempDir dir;
    const fs::path data = dir.path() / "data";
    fs::create_directory(data);
    const bool mounted = ::mount("tmpfs", data.c_str(), "tmpfs", 0, "size=256k") == 0;
    if (!mounted && ::geteuid() == 0)
        GTEST_SKIP() << "no tmpfs can be mounted here, and a read-only folder does not stop root";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"Defult.ini", "[USER]\r\nDefaultAdress=P\r\n"},
        {"User.Inf", Profile("P", "0", "") + "\r\n"},
        {"Adress.dat", "a,a@example\r\n"},
        {"Log.dat", "02/11/05,a.txt,a,\\,,0,h,21,u,,/pub,1\r\n"},
    };
    for (const auto& [name, bytes] : files) std::ofstream(data / name, std::ios::binary) << bytes;
    {
        ui::MainWindow window(data);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.Screen().Addresses().Add({"b", "b@example"});
        window.Screen().Environment().SelectUseProxy();
        if (mounted) {
            std::ofstream filler(data / "filler", std::ios::binary);
            const std::string block(4096, 'x');
            while (filler.write(block.data(), block.size()) && filler.flush()) {
            }
        } else {
            fs::permissions(data, fs::perms::owner_read | fs::perms::owner_exec);
        }
        ModalWatch watch;
        EXPECT_TRUE(window.close());
        EXPECT_FALSE(window.isVisible());
        ASSERT_EQ(watch.seen.size(), 1);
        for (const auto& [name, bytes] : files) {
            EXPECT_TRUE(watch.seen[0].contains(U(u8"「") + QString::fromStdString(name) +
                                               U(u8"」を保存できませんでした。")))
                << name;
        }
        EXPECT_FALSE(watch.seen[0].contains(U(u8"ほかのファイルは保存しました。")));
    }
    for (const auto& [name, bytes] : files) {
        std::ifstream in(data / name, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes) << name;
    }
    for (const auto& e : fs::directory_iterator(data)) {
        const std::string name = e.path().filename().string();
        EXPECT_NE(name.front(), '.') << name << ": a temporary was left behind";
    }
    if (mounted)
        ::umount2(data.c_str(), MNT_DETACH);
    else
        fs::permissions(data, fs::perms::owner_all);
}

// A screen that refuses to close, so a close asked for by a signal stays pending.
class StubbornDialog : public QDialog {
public:
    using QDialog::QDialog;

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

// The first SIGTERM waits for the close (here a screen that will not close); a second one
// writes every list and ends the program at once.
TEST(MainWindow, SecondTerminationSignalSavesAndEndsTheProgram) {
    TempDir dir;
    ui::MainWindow window(dir.path());
    window.InstallTerminationHandlers();
    int status = -1;
    window.ForceExit = [&](int s) { status = s; };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.Screen().Addresses().Add({"b", "b@example"});
    StubbornDialog stubborn(&window);
    bool openAfterFirst = false;
    QTimer::singleShot(50, [] { ::raise(SIGTERM); });
    QTimer::singleShot(300, [&] {
        openAfterFirst = window.isVisible() && stubborn.isVisible() && status == -1 &&
                         !fs::exists(dir.path() / "Log.dat");
        ::raise(SIGTERM);
    });
    QTimer::singleShot(600, [&] { stubborn.done(0); });
    stubborn.exec();
    EXPECT_TRUE(openAfterFirst);
    EXPECT_EQ(status, 128 + SIGTERM);
    EXPECT_EQ(dir.Read("Adress.dat"), "b,b@example\r\n");
    EXPECT_TRUE(fs::exists(dir.path() / "Log.dat"));
    window.hide();
}

// When the event loop cannot answer (stuck in a call), a second SIGTERM still ends the process
// within the grace time; one alone does not.
TEST(MainWindow, SecondTerminationSignalEndsAProcessWhoseLoopIsStuck) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ui::termination::Install();
        ui::termination::Reset();
        ::raise(SIGTERM);
        [[maybe_unused]] const auto n = ::write(ready[1], "1", 1);
        for (;;) ::pause();  // a loop that never looks at the pipe
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    QTest::qWait(300);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "one signal ended it";
    ::kill(pid, SIGTERM);
    QElapsedTimer timer;
    timer.start();
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 &&
           timer.elapsed() < (ui::termination::kGraceSeconds + 5) * 1000)
        QTest::qWait(50);
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "still running after the second signal";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) << status;
    EXPECT_GE(timer.elapsed(), (ui::termination::kGraceSeconds - 1) * 1000);
}

// The subject and directory go into the mail header and the FTP commands: a pasted line break
// is taken out (so is one in text set from outside).
TEST(MainWindow, SubjectAndDirectoryStayOnOneLine) {
    TempDir dir;
    ui::MainWindow window(dir.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const char8_t* label : {u8"件  名", u8"送信ﾃﾞｨﾚｸﾄﾘ"}) {
        auto* field = Named<QLineEdit>(&window, U(label));
        ASSERT_TRUE(field);
        field->clear();
        QApplication::clipboard()->setText(QStringLiteral("Hello\r\nBcc: evil@example") + QChar(0) +
                                           QStringLiteral("x\n"));
        field->setFocus();
        field->paste();
        EXPECT_EQ(field->text(), QStringLiteral("HelloBcc: evil@examplex"));
    }
    EXPECT_EQ(window.Subject(), "HelloBcc: evil@examplex");
    window.SetDirectoryText("\\a\r\nb");
    EXPECT_EQ(window.DirectoryText(), "\\ab");
    window.hide();
}

TEST(MainWindow, TerminationSignalsCloseLikeTheCloseBox) {
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        TempDir dir;
        dir.Write("Adress.dat", "a,a@example\r\n");
        ui::MainWindow window(dir.path());
        window.InstallTerminationHandlers();
        window.Screen().Addresses().Add({"b", "b@example"});
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ::raise(sig);
        EXPECT_TRUE(WaitFor([&] { return !window.isVisible(); })) << sig;
        EXPECT_EQ(dir.Read("Adress.dat"), "a,a@example\r\nb,b@example\r\n") << sig;
        EXPECT_EQ(dir.Ini("FTP", "R3"), "1") << sig;
        EXPECT_TRUE(fs::exists(dir.path() / "Log.dat")) << sig;
    }
}

// The "編集" button beside the selector with that label.
QPushButton* EditButtonFor(QWidget* window, const QString& label) {
    return Named<QPushButton>(window, label + U(u8"を編集"));
}

TEST(MainWindow, SelectorsRefreshAfterTheListScreensClose) {
    TempDir dir;
    ui::MainWindow window(dir.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto& screen = window.Screen();
    // What the list screens would have changed in memory while open.
    screen.Addresses().Add({"b", "b@example"});
    settings::TSenderProfile profile;
    profile.Name = "P";
    profile.WwwAddress = "p.example";
    profile.DirectoryFixed = "1";
    profile.SendDirectory = "\\fixed";
    screen.Profiles().AddProfile(profile);
    screen.Profiles().SetStandardName("P");

    bool modalSeen = false;
    auto closeIt = [&](QWidget* modal) {
        modalSeen = modal != &window && modal->isModal();
        modal->close();
    };
    auto* addressEdit = EditButtonFor(&window, U(u8"送信先"));
    auto* profileEdit = EditButtonFor(&window, U(u8"送信者"));
    ASSERT_TRUE(addressEdit && profileEdit);
    ASSERT_TRUE(addressEdit->isEnabled() && profileEdit->isEnabled());

    OnNextModal(closeIt);
    QTest::mouseClick(addressEdit, Qt::LeftButton);
    EXPECT_TRUE(modalSeen);
    auto* recipient = Named<QComboBox>(&window, U(u8"送信先"));
    EXPECT_EQ(recipient->count(), 1);
    EXPECT_EQ(recipient->currentText(), "b [b@example]");

    modalSeen = false;
    OnNextModal(closeIt);
    QTest::mouseClick(profileEdit, Qt::LeftButton);
    EXPECT_TRUE(modalSeen);
    EXPECT_EQ(Named<QComboBox>(&window, U(u8"送信者"))->currentText(), "P");
    EXPECT_EQ(window.DirectoryText(), "\\fixed");
    EXPECT_TRUE(Named<QLineEdit>(&window, U(u8"送信ﾃﾞｨﾚｸﾄﾘ"))->isReadOnly());
    // The detail area shows the newly loaded profile's address, not the previous one's.
    EXPECT_EQ(window.DetailLines().at(1), "http://p.example/fixed/****.***");
    window.hide();
}

TEST(MainWindow, TerminationSignalWhileAModalScreenIsOpen) {
    TempDir dir;
    ui::MainWindow window(dir.path());
    window.InstallTerminationHandlers();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(50, [] { ::raise(SIGTERM); });
    window.VersionAction()->trigger();  // returns once the signal closed the version window
    EXPECT_TRUE(WaitFor([&] { return !window.isVisible(); }));
    EXPECT_EQ(dir.Ini("FTP", "R1"), "1");
}

TEST(MainWindow, VersionWindowAndMissingHelpFile) {
    TempDir dir;
    ui::MainWindow window(dir.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QString title;
    QStringList labels;
    bool mainBlocked = false;
    OnNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        for (QLabel* l : modal->findChildren<QLabel*>())
            if (!l->text().isEmpty()) labels << l->text();
        mainBlocked = QApplication::activeModalWidget() != &window;
        for (QPushButton* b : modal->findChildren<QPushButton*>())
            if (b->text() == "OK") b->click();
    });
    window.VersionAction()->trigger();
    EXPECT_EQ(title, U(u8"バージョン情報"));
    EXPECT_TRUE(labels.contains("Fernlay"));
    EXPECT_TRUE(labels.contains("Version 1.60"));
    EXPECT_TRUE(mainBlocked);

    const fs::path help = dir.path() / "fernlay.hlp";
    window.SetHelpFile(help);
    QString message;
    OnNextModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) message = box->text();
    });
    window.HelpAction()->trigger();
    EXPECT_TRUE(message.contains(QString::fromStdString(help.string()))) << message.toStdString();
    EXPECT_TRUE(message.startsWith(U(u8"ヘルプファイルが見つかりません")));
    window.hide();
}

}  // namespace

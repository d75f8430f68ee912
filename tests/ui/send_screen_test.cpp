// The send workflow's screens on the offscreen platform: a real send through the main window
// against local servers, and the preview, resend and deletion windows.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>

#include "app/send_log.h"
#include "peers/ftp_servers.h"
#include "peers/mail_servers.h"
#include "peers/require_server.h"
#include "platform/data_dir.h"
#include "platform/screen_text.h"
#include "platform/texts.h"
#include "settings/profile_store.h"
#include "ui/connection_tab.h"
#include "ui/deletion_dialog.h"
#include "ui/environment_dialog.h"
#include "ui/main_window.h"
#include "ui/preview_dialog.h"
#include "ui/profile_editor_dialog.h"
#include "ui/profile_list_dialog.h"
#include "ui/qt_text.h"
#include "ui/real_send.h"
#include "ui/resend_dialog.h"

namespace {

namespace fs = std::filesystem;
using platform::texts;
using uitest::Dir;
using uitest::RealSend;
using uitest::S;
using uitest::WriteProfile;

QString Q(const std::string& sjis) { return ui::ToQt(sjis); }

// Hands every modal screen that appears to act (which must close it), until stopped.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget*)> act) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() || busy_) return;
            busy_ = true;
            act_(modal);
            if (modal->isVisible()) modal->close();
            busy_ = false;
        });
        timer_.start(20);
    }

private:
    std::function<void(QWidget*)> act_;
    QTimer timer_;
    bool busy_ = false;
};

// Opens the profile editor on the first profile, lets `edit` change its fields and presses OK;
// true when the editor took them and closed.
bool EditFirstProfile(app::MainScreen& screen, QWidget* parent,
                      const std::function<void(ui::ProfileEditorDialog&)>& edit) {
    ui::ProfileListDialog list(screen, parent);
    list.open();
    list.SelectRow(0);
    list.ModifyButton()->click();
    edit(*list.Editor());
    list.Editor()->OkButton()->click();
    const bool closed = !list.Editor()->isVisible();
    list.close();
    return closed;
}

std::string LogRecord(const std::string& name, const std::string& size) {
    return "02/11/05," + name + ",Sales,\\old,,0,127.0.0.1,1,fern,0420,/www," + size;
}

TEST(SendScreen, SendButtonCompletesARealSend) {
    RealSend send;
    // The upload takes a few seconds, so the screen is seen mid-send.
    if (const std::string problem = send.Open("報告.txt", 16000000, 4000000); !problem.empty())
        FERNLAY_SERVER_UNAVAILABLE(problem);
    ui::MainWindow& window = *send.window;
    const apptest::LocalServers& servers = *send.servers;
    ASSERT_TRUE(window.SendAction()->isEnabled());

    QString question;
    bool disabledDuringQuestion = false;
    std::vector<QString> notices;
    ModalAnswerer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        if (box->button(QMessageBox::Yes)) {
            question = box->text();
            disabledDuringQuestion = !window.isEnabled();
            box->button(QMessageBox::Yes)->click();
        } else {
            notices.push_back(box->text());
        }
    });
    // What the screen shows while the job runs, sampled from the event loop itself.
    struct Sample {
        std::string status;
        bool enabled;
        int progress;
    };
    std::vector<Sample> samples;
    auto* bar = window.findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    const QString shots = qEnvironmentVariable("FERNLAY_SCREENSHOT_DIR");
    bool shotTaken = false;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        samples.push_back({window.Status(), window.isEnabled(), bar->value()});
        if (!shots.isEmpty() && !shotTaken && bar->value() > 0 && bar->value() < 100) {
            shotTaken = window.grab().save(shots + QStringLiteral("/send-during.png"));
        }
    });
    sampler.start(200);
    window.SendAction()->trigger();
    sampler.stop();
    if (!shots.isEmpty()) window.grab().save(shots + QStringLiteral("/send-after.png"));

    const std::string progressPrefix = S("報告.txt") + texts().ProgressMiddle;
    std::set<std::string> progressTexts;
    bool barMoved = false;
    for (const auto& sample : samples) {
        if (sample.status.rfind(progressPrefix, 0) == 0) {
            progressTexts.insert(sample.status);
            EXPECT_FALSE(sample.enabled) << "the main screen must be inactive during a send";
        }
        if (sample.progress > 0 && sample.progress < 100) barMoved = true;
    }
    EXPECT_FALSE(progressTexts.empty()) << "no progress text was shown during the upload";
    EXPECT_TRUE(barMoved) << "the progress bar never showed a part of the upload";

    EXPECT_TRUE(question.contains(QString::fromUtf8(u8"【報告.txt】を"))) << question.toStdString();
    EXPECT_TRUE(disabledDuringQuestion);
    EXPECT_TRUE(notices.empty()) << notices.front().toStdString();
    EXPECT_EQ(window.Status(), texts().StatusSendDone);
    EXPECT_TRUE(window.isEnabled());
    EXPECT_TRUE(fs::exists(servers.FtpHome() / "www" / fs::path(S("報告.txt"))));
    const auto mails = apptest::ReadMailJson(servers.Maildir());
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_NE(mails[0].find("http://files.example.test/fern/%95%F1%8D%90.txt"), std::string::npos)
        << mails[0];
    window.hide();
}

// The close box (or the end of the session) during a send: the send completes, then the window
// closes and the log holds the new record.
TEST(SendScreen, CloseDuringASendWaitsForItThenSaves) {
    RealSend send;
    if (const std::string problem = send.Open("a.bin", 8000000, 2000000); !problem.empty())
        FERNLAY_SERVER_UNAVAILABLE(problem);
    ui::MainWindow& window = *send.window;
    const apptest::LocalServers& servers = *send.servers;
    ModalAnswerer answer([](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->button(QMessageBox::Yes))
            box->button(QMessageBox::Yes)->click();
    });
    bool closedMidSend = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!closedMidSend && window.Status().rfind("a.bin", 0) == 0) {
            closedMidSend = true;
            EXPECT_FALSE(window.close()) << "the window must not close while the send runs";
        }
    });
    closer.start(100);
    window.SendAction()->trigger();
    closer.stop();

    ASSERT_TRUE(closedMidSend) << "the send ended before the close was tried: "
                               << platform::SjisToUtf8(window.Status());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(apptest::ReadMailJson(servers.Maildir()).size(), 1u);
    const auto log = platform::ReadLines(send.data.path() / "Log.dat");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find(",a.bin,"), std::string::npos) << log[0];
}

TEST(SendScreen, ResendWindowChoosesALoggedSend) {
    Dir data;
    platform::WriteLines(data.path() / "Log.dat",
                         {LogRecord(S("資料.zip"), "4096"), LogRecord("b.txt", "1")});
    ui::MainWindow window(data.path());
    ui::ResendDialog dialog(window.Screen(), &window);
    bool checked = false;
    QTimer::singleShot(0, [&] {
        QTableWidget* grid = dialog.Grid();
        EXPECT_EQ(grid->rowCount(), 2);
        EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), Q(texts().GridFileName));
        EXPECT_EQ(grid->item(1, 1)->text(), QString::fromUtf8(u8"資料.zip"));
        EXPECT_FALSE(grid->accessibleName().isEmpty());
        EXPECT_FALSE(dialog.SelectButton()->accessibleName().isEmpty());
        EXPECT_FALSE(dialog.ExitButton()->accessibleName().isEmpty());
        grid->selectRow(1);
        checked = true;
        dialog.SelectButton()->click();
    });
    EXPECT_EQ(dialog.run(), QDialog::Accepted);
    ASSERT_TRUE(checked);
    EXPECT_EQ(window.FileText(), S("資料.zip"));
    EXPECT_EQ(window.DirectoryText(), "\\old");
    EXPECT_TRUE(window.Screen().State().ResendMode);
    EXPECT_TRUE(window.Screen().State().TransferOk);
    EXPECT_EQ(window.Screen().State().FileSize, 4096);
}

TEST(SendScreen, DeletionWindowRemovesFromTheListAndReportsAFailedConnection) {
    Dir data;
    // Port 1 on the loopback refuses the connection.
    platform::WriteLines(data.path() / "Log.dat",
                         {LogRecord("a.txt", "1"), LogRecord("b.txt", "1")});
    ui::MainWindow window(data.path());
    ui::DeletionDialog dialog(window.Screen(), &window);
    std::vector<QString> boxes;
    ModalAnswerer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        boxes.push_back(box->text());
        if (box->button(QMessageBox::Yes)) box->button(QMessageBox::Yes)->click();
    });
    QTimer::singleShot(0, [&] {
        for (QWidget* w : std::initializer_list<QWidget*>{
                 dialog.Grid(), dialog.RemoveButton(), dialog.DeleteButton(), dialog.ExitButton()})
            EXPECT_FALSE(w->accessibleName().isEmpty());
        dialog.Grid()->selectRow(0);
        dialog.RemoveButton()->click();
        EXPECT_EQ(dialog.Grid()->rowCount(), 1);
        EXPECT_EQ(dialog.Grid()->item(0, 1)->text(), QStringLiteral("b.txt"));
        dialog.Grid()->selectRow(0);
        dialog.DeleteButton()->click();
        dialog.ExitButton()->click();
    });
    dialog.run();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].contains(QStringLiteral("b.txt")));
    EXPECT_TRUE(boxes[0].contains('\n')) << "CR line breaks shown as line breaks";
    EXPECT_EQ(boxes[1], Q(texts().FtpConnectFailed));
    EXPECT_EQ(window.Screen().LogList().size(), 1u);
}

// Explicit TLS and passive mode chosen on the screens (profile editor tab "接続", environment
// settings), then a send, its repeated mail and the deletion through the real windows against
// a TLS vsftpd.
TEST(SendScreen, TlsProfileSendsResendsAndDeletesThroughTheScreens) {
    const auto& certs = ftptest::Certificates();
    if (certs.dir.empty()) FERNLAY_SERVER_UNAVAILABLE(certs.error);
    ftptest::TrustTestCa();
    auto ftp = ftptest::StartFtpServer(ftptest::Kind::VsftpdExplicitTls);
    if (!ftp->error.empty()) FERNLAY_SERVER_UNAVAILABLE("TLS vsftpd: " + ftp->error);
    Dir data, work;
    WriteProfile(data.path(), "tanaka@example.test", ftp->user, ftp->password);
    apptest::LocalServers mail(work.path() / "srv", false);
    if (!mail.Ready()) FERNLAY_SERVER_UNAVAILABLE("SMTP on 127.0.0.1: " + mail.Problem());
    settings::ConnectionStore smtpOnly(data.path());
    settings::TConnectionSettings smtp;
    smtp.SmtpPort = mail.SmtpPort();
    smtpOnly.SetProfile("demo", smtp);
    smtpOnly.Save();
    const fs::path file = work.path() / "tls.txt";
    std::ofstream(file, std::ios::binary) << std::string(200000, 't');

    ui::MainWindow window(data.path());
    window.FileDialog = [file](QWidget*) { return QString::fromStdString(file.string()); };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    app::MainScreen& screen = window.Screen();
    ASSERT_TRUE(EditFirstProfile(screen, &window, [&](ui::ProfileEditorDialog& editor) {
        ui::ConnectionTab* c = editor.Connection();
        editor.Tabs()->setCurrentWidget(c);
        c->FtpSecurityBox()->setCurrentIndex(1);
        c->FtpPortField()->setText(QString::number(ftp->port));
    }));
    {
        ui::EnvironmentDialog environment(screen, &window);
        environment.Fill();
        environment.open();
        environment.PassiveBox()->click();
        environment.OkButton()->click();
    }
    ASSERT_EQ(screen.Connections().ForProfile("demo").FtpSecurity, settings::TSecurity::Explicit);
    ASSERT_TRUE(screen.Connections().Passive());

    std::vector<QString> notices;
    ModalAnswerer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        if (box->button(QMessageBox::Yes))
            box->button(QMessageBox::Yes)->click();
        else
            notices.push_back(box->text());
    });
    screen.BrowseFile();
    window.SendAction()->trigger();
    const fs::path stored = ftp->root / "www" / "tls.txt";
    ASSERT_TRUE(fs::exists(stored)) << (notices.empty() ? "" : notices[0].toStdString());
    EXPECT_EQ(fs::file_size(stored), 200000u);
    EXPECT_EQ(window.Status(), texts().StatusSendDone);
    window.SendAction()->trigger();  // the same choices again: the mail only
    EXPECT_EQ(apptest::ReadMailJson(mail.Maildir()).size(), 2u);
    EXPECT_TRUE(notices.empty()) << notices.front().toStdString();

    ui::DeletionDialog deletion(screen, &window);
    QTimer::singleShot(0, [&] {
        deletion.Grid()->selectRow(0);
        deletion.DeleteButton()->click();
        deletion.ExitButton()->click();
    });
    deletion.run();
    EXPECT_FALSE(fs::exists(stored));
    EXPECT_TRUE(screen.LogList().empty());
    EXPECT_TRUE(notices.empty()) << notices.front().toStdString();
    window.hide();
}

// Mail submission chosen on the screens: tab "接続" sets SMTP to STARTTLS on its port with SMTP
// authentication and POP3 to STLS, the mail tab ticks POP before SMTP; the send through the real
// window logs in to Dovecot over TLS and submits the notification to aiosmtpd with AUTH.
TEST(SendScreen, SubmissionProfileSendsThroughTheScreens) {
    const auto& certs = ftptest::Certificates();
    if (certs.dir.empty()) FERNLAY_SERVER_UNAVAILABLE(certs.error);
    ftptest::TrustTestCa();
    auto ftp = ftptest::StartFtpServer(ftptest::Kind::Pyftpdlib);
    if (!ftp->error.empty()) FERNLAY_SERVER_UNAVAILABLE(ftp->error);
    auto smtp = mailtest::StartSmtpServer(mailtest::SmtpKind::StartTls);
    if (!smtp->error.empty()) FERNLAY_SERVER_UNAVAILABLE(smtp->error);
    auto pop = mailtest::StartPopServer(smtp->Maildir(), true);
    if (!pop->error.empty()) FERNLAY_SERVER_UNAVAILABLE(pop->error);
    Dir data, work;
    WriteProfile(data.path(), "tanaka@example.test", ftp->user, ftp->password);
    const fs::path file = work.path() / "submission.txt";
    std::ofstream(file, std::ios::binary) << std::string(5000, 's');

    ui::MainWindow window(data.path());
    window.FileDialog = [file](QWidget*) { return QString::fromStdString(file.string()); };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    app::MainScreen& screen = window.Screen();
    ASSERT_TRUE(EditFirstProfile(screen, &window, [&](ui::ProfileEditorDialog& editor) {
        editor.PopAuthBox()->setChecked(true);
        editor.PopAccountField()->setText(QString::fromStdString(pop->user));
        editor.PopPasswordField()->setText(QString::fromStdString(pop->password));
        ui::ConnectionTab* c = editor.Connection();
        editor.Tabs()->setCurrentWidget(c);
        c->FtpPortField()->setText(QString::number(ftp->port));
        c->SmtpSecurityBox()->setCurrentIndex(1);  // STARTTLS
        c->SmtpPortField()->setText(QString::number(smtp->port));
        c->SmtpAuthBox()->setChecked(true);
        c->SmtpUserField()->setText(QString::fromStdString(smtp->user));
        c->SmtpPasswordField()->setText(QString::fromStdString(smtp->password));
        c->PopSecurityBox()->setCurrentIndex(1);  // STLS
        c->PopPortField()->setText(QString::number(pop->port));
    }));
    const settings::TConnectionSettings stored = screen.Connections().ForProfile("demo");
    ASSERT_EQ(stored.SmtpSecurity, settings::TSecurity::Explicit);
    ASSERT_TRUE(stored.SmtpAuth);
    ASSERT_EQ(stored.PopSecurity, settings::TSecurity::Explicit);

    std::vector<QString> notices;
    ModalAnswerer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        if (box->button(QMessageBox::Yes))
            box->button(QMessageBox::Yes)->click();
        else
            notices.push_back(box->text());
    });
    screen.BrowseFile();
    window.SendAction()->trigger();
    EXPECT_TRUE(notices.empty()) << notices.front().toStdString();
    EXPECT_EQ(window.Status(), texts().StatusSendDone);
    EXPECT_TRUE(fs::exists(ftp->root / "www" / "submission.txt"));
    EXPECT_EQ(smtp->MessageCount(), 1u);
    EXPECT_EQ(smtp->AuthLog(), (std::vector<std::string>{"PLAIN taro ok"}));
    window.hide();
}

// The certificate question shows host, reason and fingerprint, with No as the default answer.
TEST(SendScreen, CertificateQuestionDefaultsToNo) {
    Dir data;
    ui::MainWindow window(data.path());
    const app::CertificateQuestion q{"ftp.example.test", S("「ftp.example.test」の証明書"),
                                     "AB:CD:EF"};
    for (bool yes : {false, true}) {
        QString text;
        bool defaultNo = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            text = box->text();
            defaultNo = box->defaultButton() == box->button(QMessageBox::No);
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(window.AskTrustCertificate(q), yes);
        EXPECT_TRUE(defaultNo);
        EXPECT_TRUE(text.contains(QStringLiteral("AB:CD:EF"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8(u8"「ftp.example.test」の証明書")));
    }
}

TEST(SendScreen, PreviewShowsPlaceholders) {
    Dir data;
    WriteProfile(data.path(), "t@example.test");
    ui::MainWindow window(data.path());
    ui::PreviewDialog dialog(window.Screen(), &window);
    QString text;
    QTimer::singleShot(0, [&] {
        text = dialog.TextArea()->toPlainText();
        EXPECT_TRUE(dialog.TextArea()->isReadOnly());
        EXPECT_FALSE(dialog.TextArea()->accessibleName().isEmpty());
        EXPECT_FALSE(dialog.OkButton()->accessibleName().isEmpty());
        dialog.OkButton()->click();
    });
    dialog.run();
    EXPECT_EQ(dialog.windowTitle(), Q(texts().PreviewCaption));
    EXPECT_EQ(text,
              QString::fromUtf8(u8"いつもお世話になっております。\n\n"
                                u8"http://files.example.test/fern/****.***\n\n"
                                u8"データ詳細=================================================\n"
                                u8"【ファイル名】：****.***\n"
                                u8"【ファイル量】：******ﾊﾞｲﾄ\n\n"
                                u8"山田"));
}

}  // namespace

#pragma once
// The main screen (caption "Fernlay", fixed 557x516 client area, centred).
//
// Sub-screens: MainWindow owns and opens them modally. Each is a class in src/ui with
//     <Class>(app::MainScreen& screen, QWidget* parent);
//     int run();   // shows the screen modally (exec) and returns its result
// living in these headers:
//     ui/profile_list_dialog.h   ui::ProfileListDialog   ("編集" beside "送信者")
//     ui/address_list_dialog.h   ui::AddressListDialog   ("編集" beside "送信先")
//     ui/environment_dialog.h    ui::EnvironmentDialog   ("環境設定")
// The main window picks a header up as soon as it exists (__has_include). Around run() the main
// window is inactive (modal exec) and afterwards refreshes: MainScreen::RefreshProfiles after the
// profile list, FillRecipientSelector after the address list, nothing after the environment
// settings (they act on MainScreen::Environment() directly).
// Profile changes made inside the profile list (editor "OK") call MainScreen::LoadProfileSettings.
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_screen.h"
#include "app/main_view.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QToolBar;

namespace app {
class SendJob;
}

namespace ui {

class QtEventPump;
class StatusLine;

class MainWindow : public QMainWindow, public app::MainView {
    Q_OBJECT
public:
    // Runs StartUp on the data directory; show() afterwards.
    explicit MainWindow(std::filesystem::path dataDir, QWidget* parent = nullptr);
    ~MainWindow() override;

    app::MainScreen& Screen() { return *screen_; }
    app::SendJob& Job() { return *sendJob_; }

    // The platform's file-open dialog; tests replace it. Empty result = cancelled.
    std::function<QString(QWidget* parent)> FileDialog;
    // Where "ヘルプ" looks; platform::HelpFilePath of the running executable unless set.
    void SetHelpFile(std::filesystem::path path) { helpFile_ = std::move(path); }

    // SIGTERM, SIGHUP and SIGINT close this window as its close box does, without waiting on
    // a message box (messages go to standard error). A second one before that close is done
    // saves what can be saved and ends the program through ForceExit. Call once after
    // construction.
    void InstallTerminationHandlers();
    // Ends the process at once (exit status given); tests replace it.
    std::function<void(int status)> ForceExit;

    // Toolbar actions, by their hint texts; also reachable for tests.
    QAction* SendAction() const { return sendAction_; }
    QAction* DeleteAction() const { return deleteAction_; }
    QAction* ResendAction() const { return resendAction_; }
    QAction* PreviewAction() const { return previewAction_; }
    QAction* EnvironmentAction() const { return environmentAction_; }
    QAction* ExitAction() const { return exitAction_; }
    QAction* VersionAction() const { return versionAction_; }
    QAction* HelpAction() const { return helpAction_; }

    // app::MainView
    void SetSenderItems(const std::vector<std::string>& items) override;
    void SetSenderIndex(int index) override;
    std::string SenderText() const override;
    void SetRecipientItems(const std::vector<std::string>& items) override;
    void SetRecipientIndex(int index) override;
    int RecipientIndex() const override;
    void SetFileText(const std::string& text) override;
    std::string FileText() const override;
    void SetDirectoryText(const std::string& text) override;
    std::string DirectoryText() const override;
    void SetDirectoryFixed(bool fixed) override;
    void SetSubject(const std::string& text) override;
    std::string Subject() const override;
    void SetHeaderLines(const std::vector<std::string>& lines) override;
    std::vector<std::string> HeaderLines() const override;
    void SetDetailLines(const std::vector<std::string>& lines) override;
    std::vector<std::string> DetailLines() const override;
    void SetFooterLines(const std::vector<std::string>& lines) override;
    std::vector<std::string> FooterLines() const override;
    void SetStatus(const std::string& text) override;
    std::string Status() const override;
    void SetProgress(int position) override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    bool AskTrustCertificate(const app::CertificateQuestion& question) override;
    std::optional<std::string> AskOpenFileName() override;
    void SetScreenEnabled(bool enabled) override;

public slots:
    // "送信", "削除", "再送信", "ﾌﾟﾚﾋﾞｭｰ".
    void StartSend();
    void OpenDeletion();
    void OpenResend();
    void OpenPreview();
    void OpenProfileList();
    void OpenAddressList();
    void OpenEnvironment();
    void OpenVersion();
    void OpenHelp();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void OnTerminationSignal();
    // After a sub-screen or a job: activates this window again, and closes it now when a close
    // was asked for meanwhile.
    void ClosePendingNow();
    // Runs one logic operation; a failure is shown as a message.
    template <class F>
    void Guard(F&& operation);

    std::filesystem::path helpFile_;
    bool centred_ = false;
    std::unique_ptr<app::MainScreen> screen_;
    std::unique_ptr<app::SendJob> sendJob_;
    QtEventPump* pump_ = nullptr;  // network waits keep this window alive
    bool updating_ = false;        // set while the logic writes into the controls
    bool closePending_ = false;    // a close asked for while a job ran; done when it ends
    bool closing_ = false;         // the lists are being written
    bool unattended_ = false;      // closing on a signal or the session's end: nobody to ask

    QAction* sendAction_ = nullptr;
    QAction* deleteAction_ = nullptr;
    QAction* resendAction_ = nullptr;
    QAction* previewAction_ = nullptr;
    QAction* environmentAction_ = nullptr;
    QAction* exitAction_ = nullptr;
    QAction* versionAction_ = nullptr;
    QAction* helpAction_ = nullptr;
    QComboBox* senderBox_ = nullptr;
    QPushButton* senderEdit_ = nullptr;
    QComboBox* recipientBox_ = nullptr;
    QPushButton* recipientEdit_ = nullptr;
    QLineEdit* fileEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QLineEdit* directoryEdit_ = nullptr;
    QLineEdit* subjectEdit_ = nullptr;
    QPlainTextEdit* headerMemo_ = nullptr;
    QPlainTextEdit* detailMemo_ = nullptr;
    QPlainTextEdit* footerMemo_ = nullptr;
    StatusLine* statusLabel_ = nullptr;
    QPointer<QWidget> focusBeforeJob_;  // where the keyboard was when a job began
    QProgressBar* progressBar_ = nullptr;
    QSocketNotifier* signalNotifier_ = nullptr;
};

}  // namespace ui

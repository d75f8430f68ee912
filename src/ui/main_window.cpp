#include "ui/main_window.h"

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "app/send_job.h"
#include "platform/error.h"
#include "platform/program_dirs.h"
#include "platform/texts.h"
#include "ui/accessibility.h"
#include "ui/deletion_dialog.h"
#include "ui/help.h"
#include "ui/keys.h"
#include "ui/preview_dialog.h"
#include "ui/qt_event_pump.h"
#include "ui/qt_text.h"
#include "ui/resend_dialog.h"
#include "ui/settings_screen_util.h"
#include "ui/termination_signals.h"
#include "ui/trust_question.h"
#include "ui/version_window.h"

// Sub-screens are picked up as soon as their headers exist.
#if __has_include("ui/profile_list_dialog.h")
#include "ui/profile_list_dialog.h"
#define FERNLAY_HAS_PROFILE_LIST 1
#endif
#if __has_include("ui/address_list_dialog.h")
#include "ui/address_list_dialog.h"
#define FERNLAY_HAS_ADDRESS_LIST 1
#endif
#if __has_include("ui/environment_dialog.h")
#include "ui/environment_dialog.h"
#define FERNLAY_HAS_ENVIRONMENT 1
#endif

namespace ui {

namespace {

constexpr int kClientWidth = 557;
constexpr int kClientHeight = 516;

// The toolbar image when the desktop's icon theme has none: a coloured tile with the hint's
// first character.
QIcon MakeIcon(const QColor& colour, const QString& glyph) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colour.darker(140));
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
    QFont font = painter.font();
    font.setPixelSize(18);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, glyph.left(1));
    return QIcon(pixmap);
}

class UpdatingScope {
public:
    explicit UpdatingScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~UpdatingScope() { flag_ = old_; }

private:
    bool& flag_;
    bool old_;
};

}  // namespace

MainWindow::MainWindow(std::filesystem::path dataDir, QWidget* parent)
    : QMainWindow(parent), helpFile_(platform::HelpFilePath(platform::ExecutablePath())) {
    ForceExit = [](int status) {
        std::fflush(stderr);
        ::_exit(status);
    };
    // Opens in the home folder first, then where the last file was chosen.
    FileDialog = [lastDir = QDir::homePath()](QWidget* parent) mutable {
        const QString chosen = QFileDialog::getOpenFileName(parent, QString(), lastDir);
        if (!chosen.isEmpty()) lastDir = QFileInfo(chosen).absolutePath();
        return chosen;
    };
    setWindowTitle(QStringLiteral("Fernlay"));
    BuildControls();
    setFixedSize(kClientWidth, kClientHeight);
    screen_ = std::make_unique<app::MainScreen>(*this, std::move(dataDir));
    sendJob_ = std::make_unique<app::SendJob>(*screen_);
    pump_ = new QtEventPump(this);
    screen_->StartUp();
}

MainWindow::~MainWindow() = default;

template <class F>
void MainWindow::Guard(F&& operation) {
    try {
        operation();
    } catch (const std::exception& e) {
        ShowMessage(app::MainScreen::ErrorText(e));
    }
}

void MainWindow::BuildControls() {
    const auto& t = platform::texts();

    auto* toolbar = new QToolBar(this);
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setAccessibleName(ToQt(t.ToolbarName));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(24, 24));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, toolbar);
    std::vector<QWidget*> order;  // the tab order, top to bottom
    // The desktop's icon under its freedesktop name, else a drawn tile; the hint text under it.
    auto addAction = [&](const std::string& hint, const char* iconName, const QColor& colour,
                         const QKeySequence& key) {
        const QString text = ToQt(hint);
        QAction* action = toolbar->addAction(
            QIcon::fromTheme(QLatin1String(iconName), MakeIcon(colour, text)), text);
        keys::Bind(action, key);
        action->setStatusTip(QString());
        if (QWidget* button = toolbar->widgetForAction(action)) {
            button->setAccessibleName(text);
            button->setToolTip(action->toolTip());
            // Tool buttons take no focus by default; these are the only way to their actions.
            button->setFocusPolicy(Qt::TabFocus);
            button->installEventFilter(this);
            order.push_back(button);
        }
        return action;
    };
    sendAction_ = addAction(t.SendHint, "mail-send", QColor(0x2e, 0x7d, 0x32), keys::Send);
    deleteAction_ = addAction(t.DeleteHint, "edit-delete", QColor(0xc6, 0x28, 0x28), keys::Delete);
    resendAction_ = addAction(t.ResendHint, "mail-forward", QColor(0x1e, 0x88, 0xe5), keys::Resend);
    previewAction_ =
        addAction(t.PreviewHint, "document-print-preview", QColor(0x6a, 0x1b, 0x9a), keys::Preview);
    environmentAction_ = addAction(t.EnvironmentHint, "preferences-system",
                                   QColor(0x55, 0x6b, 0x2f), keys::Environment);
    exitAction_ = addAction(t.ExitHint, "application-exit", QColor(0x61, 0x61, 0x61), keys::Exit);
    versionAction_ =
        addAction(t.VersionHint, "help-about", QColor(0x00, 0x83, 0x8f), keys::Version);
    helpAction_ = addAction(t.HelpHint, "help-contents", QColor(0xef, 0x6c, 0x00), keys::Help);
    connect(sendAction_, &QAction::triggered, this, &MainWindow::StartSend);
    connect(deleteAction_, &QAction::triggered, this, &MainWindow::OpenDeletion);
    connect(resendAction_, &QAction::triggered, this, &MainWindow::OpenResend);
    connect(previewAction_, &QAction::triggered, this, &MainWindow::OpenPreview);
    connect(environmentAction_, &QAction::triggered, this, &MainWindow::OpenEnvironment);
    connect(exitAction_, &QAction::triggered, this, &MainWindow::close);
    connect(versionAction_, &QAction::triggered, this, &MainWindow::OpenVersion);
    connect(helpAction_, &QAction::triggered, this, &MainWindow::OpenHelp);

    auto* central = new QWidget(this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    int row = 0;
    auto addRow = [&](const std::string& label, QWidget* field, QPushButton* button) {
        auto* caption = new QLabel(ToQt(label), central);
        caption->setBuddy(field);
        if (auto* box = qobject_cast<QComboBox*>(field))
            NameSelector(box, ToQt(label));
        else
            field->setAccessibleName(ToQt(label));
        grid->addWidget(caption, row, 0);
        grid->addWidget(field, row, 1, 1, button ? 1 : 2);
        order.push_back(field);
        if (button) {
            grid->addWidget(button, row, 2);
            order.push_back(button);
        }
        ++row;
    };
    auto makeButton = [&](const std::string& text, const std::string& accessible) {
        auto* button = new QPushButton(ToQt(text), central);
        button->setAccessibleName(ToQt(accessible));
        button->setToolTip(ToQt(accessible));
        button->setAutoDefault(false);
        return button;
    };

    senderBox_ = new QComboBox(central);
    senderBox_->setEditable(true);
    senderBox_->setInsertPolicy(QComboBox::NoInsert);
    senderEdit_ = makeButton(t.EditButton, t.EditSenderName);
    addRow(t.SenderLabel, senderBox_, senderEdit_);

    recipientBox_ = new QComboBox(central);
    recipientBox_->setEditable(true);
    recipientBox_->setInsertPolicy(QComboBox::NoInsert);
    recipientEdit_ = makeButton(t.EditButton, t.EditRecipientName);
    addRow(t.RecipientLabel, recipientBox_, recipientEdit_);

    fileEdit_ = new QLineEdit(central);
    fileEdit_->setReadOnly(true);
    fileEdit_->installEventFilter(this);
    browseButton_ = makeButton(t.BrowseButton, t.BrowseButton);
    keys::Bind(browseButton_, keys::Browse);
    addRow(t.FileLabel, fileEdit_, browseButton_);

    directoryEdit_ = OneLineField(central);
    addRow(t.DirectoryLabel, directoryEdit_, nullptr);

    subjectEdit_ = OneLineField(central);
    addRow(t.SubjectLabel, subjectEdit_, nullptr);
    grid->setColumnStretch(1, 1);

    auto makeArea = [&](const std::string& name, bool readOnly) {
        auto* area = new QPlainTextEdit(central);
        area->setAccessibleName(ToQt(name));
        area->setReadOnly(readOnly);
        area->setLineWrapMode(readOnly ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
        area->setHorizontalScrollBarPolicy(readOnly ? Qt::ScrollBarAsNeeded
                                                    : Qt::ScrollBarAlwaysOff);
        area->setVerticalScrollBarPolicy(readOnly ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
        area->setTabChangesFocus(true);
        // Read-only text can still be reached and read line by line from the keyboard.
        if (readOnly)
            area->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        order.push_back(area);
        return area;
    };
    headerMemo_ = makeArea(t.HeaderAreaName, false);
    detailMemo_ = makeArea(t.DetailAreaName, true);
    footerMemo_ = makeArea(t.FooterAreaName, false);
    // Tab walks the fields top to bottom, then the toolbar.
    std::rotate(order.begin(), order.begin() + 8, order.end());
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 6, 8, 4);
    layout->setSpacing(4);
    layout->addLayout(grid);
    // The detail area shows its whole template: six unwrapped lines, and room for a horizontal
    // scroll bar should the rule be wider than the area. Japanese glyphs come from a fallback
    // font whose lines are taller than the base font's.
    const QFontMetrics metrics = detailMemo_->fontMetrics();
    const int line =
        std::max(metrics.lineSpacing(), metrics.boundingRect(ToQt(t.DetailFileSize)).height() + 1);
    const int frame = 2 * detailMemo_->frameWidth();
    const int margin = 2 * static_cast<int>(detailMemo_->document()->documentMargin());
    const int scrollBar = detailMemo_->horizontalScrollBar()->sizeHint().height();
    detailMemo_->setFixedHeight(line * 6 + frame + margin + scrollBar);
    layout->addWidget(headerMemo_, 1);
    layout->addWidget(detailMemo_, 0);
    layout->addWidget(footerMemo_, 1);
    setCentralWidget(central);

    statusLabel_ = new StatusLine(ToQt(t.StatusName), this);
    statusLabel_->setFixedWidth(300);
    statusLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    progressBar_ = new QProgressBar(this);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(ToQt(t.ProgressName));
    statusBar()->setAccessibleName(ToQt(t.StatusBarName));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(statusLabel_);
    statusBar()->addWidget(progressBar_, 1);

    connect(senderBox_, &QComboBox::currentTextChanged, this, [this] {
        if (!updating_) Guard([this] { screen_->SenderTextChanged(); });
    });
    connect(recipientBox_, &QComboBox::currentTextChanged, this, [this] {
        if (!updating_) screen_->RecipientChanged();
    });
    connect(fileEdit_, &QLineEdit::textChanged, this, [this] {
        if (!updating_) screen_->FileFieldChanged();
    });
    connect(directoryEdit_, &QLineEdit::textChanged, this, [this] {
        if (!updating_) screen_->DirectoryFieldChanged();
    });
    connect(browseButton_, &QPushButton::clicked, this,
            [this] { Guard([this] { screen_->BrowseFile(); }); });
    connect(senderEdit_, &QPushButton::clicked, this, &MainWindow::OpenProfileList);
    connect(recipientEdit_, &QPushButton::clicked, this, &MainWindow::OpenAddressList);

#ifndef FERNLAY_HAS_PROFILE_LIST
    senderEdit_->setEnabled(false);
#endif
#ifndef FERNLAY_HAS_ADDRESS_LIST
    recipientEdit_->setEnabled(false);
#endif
#ifndef FERNLAY_HAS_ENVIRONMENT
    environmentAction_->setEnabled(false);
#endif

#ifndef QT_NO_SESSIONMANAGER
    // The end of the desktop session closes the window as its close box does.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!isVisible()) return;
        unattended_ = true;
        if (!close()) {
            // A job still runs: the session waits and the window closes when it ends.
            unattended_ = false;
            manager.cancel();
        }
    });
#endif
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fileEdit_ && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && fileEdit_->isEnabled()) {
        Guard([this] { screen_->BrowseFile(); });
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        // From the keyboard the file field acts like a click, and a toolbar button takes Enter
        // as well as Space.
        if (watched == fileEdit_ && (enter || key == Qt::Key_Space)) {
            Guard([this] { screen_->BrowseFile(); });
            return true;
        }
        if (auto* button = qobject_cast<QToolButton*>(watched); button && enter) {
            button->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (centred_) return;
    centred_ = true;
    senderBox_->setFocus(Qt::OtherFocusReason);
    if (QScreen* where = screen()) {
        const QRect area = where->availableGeometry();
        const QRect frame = frameGeometry();
        move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A close asked for while the lists are being written (a signal during the message) is
    // the one already under way.
    if (closing_) {
        event->ignore();
        return;
    }
    // A running job (a send, or a deletion in its window) finishes first; the window closes
    // and the lists are written when it has ended, so nothing it changes is lost.
    QWidget* modal = QApplication::activeModalWidget();
    if ((sendJob_ && sendJob_->Running()) || (modal && modal != this)) {
        closePending_ = true;
        event->ignore();
        return;
    }
    // A file that cannot be written is named in a message; the others are written and the
    // window closes all the same.
    closing_ = true;
    screen_->SaveOnExit();
    closing_ = false;
    unattended_ = false;
    termination::Reset();
    event->accept();
}

void MainWindow::InstallTerminationHandlers() {
    const int fd = termination::Install();
    if (fd < 0) return;
    termination::Reset();
    delete signalNotifier_;
    signalNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, this, &MainWindow::OnTerminationSignal);
}

void MainWindow::OnTerminationSignal() {
    const int count = termination::Drain();
    if (count == 0) return;
    unattended_ = true;
    if (count >= 2) {
        // The close asked for before has not finished (a job still runs, or a screen would not
        // close): write what can be written and end now.
        screen_->SaveOnExit();
        termination::Reset();
        ForceExit(128 + termination::LastSignal());
        return;
    }
    // A modal screen open at that moment is closed first so the main window can close.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == this || !modal->close()) break;
    }
    close();
}

void MainWindow::OpenProfileList() {
#ifdef FERNLAY_HAS_PROFILE_LIST
    {
        ProfileListDialog dialog(*screen_, this);
        dialog.run();
    }
    Guard([this] { screen_->RefreshProfiles(); });
#endif
    ClosePendingNow();
}

void MainWindow::OpenAddressList() {
#ifdef FERNLAY_HAS_ADDRESS_LIST
    {
        AddressListDialog dialog(*screen_, this);
        dialog.run();
    }
    Guard([this] { screen_->FillRecipientSelector(); });
#endif
    ClosePendingNow();
}

void MainWindow::OpenEnvironment() {
#ifdef FERNLAY_HAS_ENVIRONMENT
    {
        EnvironmentDialog dialog(*screen_, this);
        dialog.run();
    }
#endif
    ClosePendingNow();
}

void MainWindow::StartSend() {
    Guard([this] { sendJob_->StartSend(); });
    ClosePendingNow();
}

void MainWindow::ClosePendingNow() {
    // Back from a sub-screen or a job: the keyboard is here again, whatever the window
    // manager does with the closed screen's focus.
    activateWindow();
    if (!closePending_) return;
    closePending_ = false;
    close();
}

void MainWindow::OpenDeletion() {
    {
        DeletionDialog dialog(*screen_, this);
        dialog.run();
    }
    ClosePendingNow();
}

void MainWindow::OpenResend() {
    {
        ResendDialog dialog(*screen_, this);
        dialog.run();
    }
    ClosePendingNow();
}

void MainWindow::OpenPreview() {
    {
        PreviewDialog dialog(*screen_, this);
        dialog.run();
    }
    ClosePendingNow();
}

void MainWindow::OpenVersion() {
    {
        VersionWindow window(this);
        window.exec();
    }
    ClosePendingNow();
}

void MainWindow::OpenHelp() { OpenHelpFile(this, helpFile_); }

// ---- app::MainView ----

void MainWindow::SetSenderItems(const std::vector<std::string>& items) {
    UpdatingScope scope(updating_);
    senderBox_->clear();
    for (const auto& item : items) senderBox_->addItem(ToQt(item));
}

void MainWindow::SetSenderIndex(int index) {
    UpdatingScope scope(updating_);
    senderBox_->setCurrentIndex(index);
}

std::string MainWindow::SenderText() const { return FromQt(senderBox_->currentText()); }

void MainWindow::SetRecipientItems(const std::vector<std::string>& items) {
    UpdatingScope scope(updating_);
    recipientBox_->clear();
    for (const auto& item : items) recipientBox_->addItem(ToQt(item));
}

void MainWindow::SetRecipientIndex(int index) {
    UpdatingScope scope(updating_);
    recipientBox_->setCurrentIndex(index);
}

int MainWindow::RecipientIndex() const {
    // Typed text that differs from the current item selects no entry.
    const int index = recipientBox_->currentIndex();
    if (index < 0 || recipientBox_->itemText(index) != recipientBox_->currentText()) return -1;
    return index;
}

void MainWindow::SetFileText(const std::string& text) {
    UpdatingScope scope(updating_);
    fileEdit_->setText(ToQt(text));
    fileEdit_->setCursorPosition(0);
}

std::string MainWindow::FileText() const { return FromQt(fileEdit_->text()); }

void MainWindow::SetDirectoryText(const std::string& text) {
    UpdatingScope scope(updating_);
    directoryEdit_->setText(ToQt(text));
}

std::string MainWindow::DirectoryText() const { return FromQt(directoryEdit_->text()); }

void MainWindow::SetDirectoryFixed(bool fixed) {
    directoryEdit_->setReadOnly(fixed);
    // Only the enabled look changes: while a send runs the field greys out like the others.
    QPalette palette = directoryEdit_->palette();
    const QColor base = fixed ? palette.color(QPalette::Button) : QColor(Qt::white);
    palette.setColor(QPalette::Active, QPalette::Base, base);
    palette.setColor(QPalette::Inactive, QPalette::Base, base);
    directoryEdit_->setPalette(palette);
}

void MainWindow::SetSubject(const std::string& text) {
    UpdatingScope scope(updating_);
    subjectEdit_->setText(ToQt(text));
}

std::string MainWindow::Subject() const { return FromQt(subjectEdit_->text()); }

void MainWindow::SetHeaderLines(const std::vector<std::string>& lines) {
    headerMemo_->setPlainText(JoinAreaLines(lines));
}

std::vector<std::string> MainWindow::HeaderLines() const {
    return SplitAreaLines(headerMemo_->toPlainText());
}

void MainWindow::SetDetailLines(const std::vector<std::string>& lines) {
    detailMemo_->setPlainText(JoinAreaLines(lines));
}

std::vector<std::string> MainWindow::DetailLines() const {
    return SplitAreaLines(detailMemo_->toPlainText());
}

void MainWindow::SetFooterLines(const std::vector<std::string>& lines) {
    footerMemo_->setPlainText(JoinAreaLines(lines));
}

std::vector<std::string> MainWindow::FooterLines() const {
    return SplitAreaLines(footerMemo_->toPlainText());
}

void MainWindow::SetStatus(const std::string& text) { statusLabel_->SetLine(ToQt(text)); }

std::string MainWindow::Status() const { return FromQt(statusLabel_->text()); }

void MainWindow::SetProgress(int position) { progressBar_->setValue(position); }

void MainWindow::ShowMessage(const std::string& text) {
    if (unattended_) {
        std::fprintf(stderr, "Fernlay: %s\n", BoxText(text).toUtf8().constData());
        return;
    }
    QMessageBox::information(this, QStringLiteral("Fernlay"), BoxText(text));
}

bool MainWindow::AskYesNo(const std::string& text) {
    if (unattended_) return false;
    return QMessageBox::question(this, QStringLiteral("Fernlay"), BoxText(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool MainWindow::AskTrustCertificate(const app::CertificateQuestion& question) {
    return AskTrust(this, question);
}

std::optional<std::string> MainWindow::AskOpenFileName() {
    QPointer<QWidget> focused = QApplication::focusWidget();
    const QString chosen = FileDialog ? FileDialog(this) : QString();
    // Back to where the keyboard was, whichever way the chooser closed.
    activateWindow();
    if (focused) focused->setFocus(Qt::OtherFocusReason);
    if (chosen.isEmpty()) return std::nullopt;
    // The file system's own bytes; the logic refuses names without a Shift_JIS form.
    return QFile::encodeName(chosen).toStdString();
}

void MainWindow::SetScreenEnabled(bool enabled) {
    // Disabling drops the keyboard focus; it comes back to the same control afterwards.
    if (!enabled && QApplication::focusWidget() && isAncestorOf(QApplication::focusWidget()))
        focusBeforeJob_ = QApplication::focusWidget();
    setEnabled(enabled);
    if (!enabled) return;
    activateWindow();
    if (focusBeforeJob_) focusBeforeJob_->setFocus(Qt::OtherFocusReason);
    focusBeforeJob_ = nullptr;
}

}  // namespace ui

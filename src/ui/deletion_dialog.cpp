#include "ui/deletion_dialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/error.h"
#include "platform/texts.h"
#include "ui/accessibility.h"
#include "ui/keys.h"
#include "ui/log_grid.h"
#include "ui/qt_text.h"
#include "ui/trust_question.h"

namespace ui {

DeletionDialog::DeletionDialog(app::MainScreen& screen, QWidget* parent) : QDialog(parent) {
    const auto& t = platform::texts();
    setWindowTitle(ToQt(t.DeletionCaption));
    setModal(true);
    grid_ = MakeLogGrid(this);
    grid_->setFixedHeight(200);
    remove_ = new QPushButton(ToQt(t.RemoveFromListButton), this);
    remove_->setAccessibleName(ToQt(t.RemoveFromListButton));
    delete_ = new QPushButton(ToQt(t.DeleteDataButton), this);
    delete_->setAccessibleName(ToQt(t.DeleteDataButton));
    exit_ = new QPushButton(ToQt(t.ExitButton), this);
    exit_->setAccessibleName(ToQt(t.ExitButton));
    // Enter never deletes by itself: no button is the default, each has its own key.
    for (QPushButton* b : {remove_, delete_, exit_}) b->setAutoDefault(false);
    keys::Bind(remove_, keys::RemoveFromList);
    keys::Bind(delete_, keys::Delete);
    keys::Bind(exit_, keys::Exit);
    status_ = new StatusLine(ToQt(t.StatusName), this);
    status_->setFrameShape(QFrame::Panel);
    status_->setFrameShadow(QFrame::Sunken);
    deletion_ = std::make_unique<app::Deletion>(*this, screen.LogList(), screen.Environment(),
                                                screen.Connections(), screen.DataDir());
    connect(remove_, &QPushButton::clicked, this, [this] { deletion_->RemoveFromList(); });
    connect(delete_, &QPushButton::clicked, this, [this] {
        // Inactive while the server is contacted: one deletion at a time.
        setEnabled(false);
        try {
            deletion_->DeleteRemoteData();
        } catch (const platform::Error& e) {
            ShowMessage(app::MainScreen::ErrorText(e));
        }
        setEnabled(true);
        // The keyboard comes back here after the question and the job, which disabling dropped.
        activateWindow();
        delete_->setFocus(Qt::OtherFocusReason);
        if (closeWhenDone_) QDialog::reject();
    });
    connect(exit_, &QPushButton::clicked, this, &DeletionDialog::reject);
    grid_->setFocus();  // no default button would take it
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(remove_);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    buttons->addWidget(exit_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    setFixedSize(sizeHint());
}

DeletionDialog::~DeletionDialog() = default;

int DeletionDialog::run() {
    status_->SetLine(QString());
    deletion_->FillGrid();
    return exec();
}

void DeletionDialog::reject() {
    if (deletion_->Running()) {
        closeWhenDone_ = true;  // the window closes when the running deletion ends
        return;
    }
    QDialog::reject();
}

void DeletionDialog::SetGridRows(const std::vector<app::LogGridRow>& rows) {
    FillGridRows(grid_, rows);
}

int DeletionDialog::SelectedRow() const { return SelectedGridRow(grid_); }

void DeletionDialog::SetStatus(const std::string& text) { status_->SetLine(ToQt(text)); }

std::string DeletionDialog::Status() const { return FromQt(status_->text()); }

void DeletionDialog::ShowMessage(const std::string& text) {
    QMessageBox::information(this, QStringLiteral("Fernlay"), BoxText(text));
}

bool DeletionDialog::AskYesNo(const std::string& text) {
    return QMessageBox::question(this, QStringLiteral("Fernlay"), BoxText(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace ui

namespace ui {

bool DeletionDialog::AskTrustCertificate(const app::CertificateQuestion& question) {
    return AskTrust(this, question);
}

}  // namespace ui

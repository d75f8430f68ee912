#include "ui/resend_dialog.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/send_log.h"
#include "platform/error.h"
#include "platform/texts.h"
#include "ui/keys.h"
#include "ui/log_grid.h"
#include "ui/qt_text.h"

namespace ui {

ResendDialog::ResendDialog(app::MainScreen& screen, QWidget* parent)
    : QDialog(parent), screen_(screen) {
    const auto& t = platform::texts();
    setWindowTitle(ToQt(t.ResendCaption));
    setModal(true);
    grid_ = MakeLogGrid(this);
    grid_->setFixedHeight(200);
    select_ = new QPushButton(ToQt(t.SelectButton), this);
    select_->setAccessibleName(ToQt(t.SelectButton));
    exit_ = new QPushButton(ToQt(t.ExitButton), this);
    exit_->setAccessibleName(ToQt(t.ExitButton));
    // Enter chooses the selected send, Esc (or Ctrl+Q, as everywhere) leaves.
    select_->setDefault(true);
    exit_->setAutoDefault(false);
    keys::ShowKey(select_, QKeySequence(Qt::Key_Return));
    keys::Bind(exit_, keys::Exit);
    connect(select_, &QPushButton::clicked, this, &ResendDialog::Select);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(grid_, &QTableWidget::cellDoubleClicked, this, &ResendDialog::Select);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(select_);
    buttons->addWidget(exit_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

int ResendDialog::run() {
    const app::LogGrid grid = app::FillLogGrid(screen_.LogList());
    shown_ = grid.ShownCount;
    FillGridRows(grid_, grid.Rows);
    return exec();
}

void ResendDialog::Select() {
    try {
        if (app::SelectResend(screen_, SelectedGridRow(grid_), shown_)) accept();
    } catch (const platform::Error& e) {
        QMessageBox::information(this, QStringLiteral("Fernlay"),
                                 ToQt(app::MainScreen::ErrorText(e)));
    }
}

}  // namespace ui

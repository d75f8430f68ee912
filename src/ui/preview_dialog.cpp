#include "ui/preview_dialog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/notification.h"
#include "platform/texts.h"
#include "ui/qt_text.h"

namespace ui {

PreviewDialog::PreviewDialog(app::MainScreen& screen, QWidget* parent)
    : QDialog(parent), screen_(screen) {
    const auto& t = platform::texts();
    setWindowTitle(ToQt(t.PreviewCaption));
    setModal(true);
    setFixedSize(539, 425);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setAccessibleName(ToQt(t.PreviewAreaName));
    ok_ = new QPushButton(ToQt(t.OkButton), this);
    ok_->setAccessibleName(ToQt(t.OkButton));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(ok_, 0, Qt::AlignHCenter);
}

int PreviewDialog::run() {
    text_->clear();
    QString all = JoinAreaLines(app::PreviewFor(screen_));
    if (all.endsWith('\n')) all.chop(1);
    text_->setPlainText(all);
    return exec();
}

}  // namespace ui

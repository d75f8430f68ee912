#include "ui/version_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/texts.h"
#include "ui/qt_text.h"

namespace ui {

VersionWindow::VersionWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(ToQt(platform::texts().VersionCaption));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    auto* product = new QLabel(QStringLiteral("Fernlay"), this);
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    product->setFont(bold);
    product->setAccessibleName(product->text());
    auto* version = new QLabel(QStringLiteral("Version 1.60"), this);
    version->setAccessibleName(version->text());
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(260, 130)));
}

}  // namespace ui

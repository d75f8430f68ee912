#include "ui/trust_question.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/qt_text.h"

namespace ui {

bool AskTrust(QWidget* parent, const app::CertificateQuestion& question) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Fernlay"), BoxText(question.Text()),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    // The fingerprint can be copied and compared with what the server's owner publishes.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setAccessibleName(ToQt(question.Host));
    return box.exec() == QMessageBox::Yes;
}

}  // namespace ui

#include "ui/help.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <system_error>

#include "platform/texts.h"
#include "ui/qt_text.h"

namespace ui {

void OpenHelpFile(QWidget* parent, const std::filesystem::path& helpFile) {
    const auto& t = platform::texts();
    const QString shown = QString::fromStdString(helpFile.string());
    std::error_code ec;
    if (!std::filesystem::is_regular_file(helpFile, ec)) {
        QMessageBox::information(parent, QStringLiteral("Fernlay"), ToQt(t.HelpMissing) + shown);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(shown))) {
        QMessageBox::information(parent, QStringLiteral("Fernlay"), ToQt(t.HelpOpenFailed) + shown);
    }
}

}  // namespace ui

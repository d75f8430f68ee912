#include "ui/template_editor_dialog.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "app/main_screen.h"
#include "platform/texts.h"
#include "ui/qt_text.h"
#include "ui/settings_screen_util.h"

namespace ui {

TemplateEditorDialog::TemplateEditorDialog(std::filesystem::path dataDir, QWidget* parent)
    : QDialog(parent), dataDir_(std::move(dataDir)) {
    area_ = new QPlainTextEdit(this);
    area_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setTabChangesFocus(true);  // as in the main screen's text areas
    area_->setAccessibleName(ToQt(platform::texts().TemplateAreaName));
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setAccessibleName(ok_->text());
    cancel_->setAccessibleName(cancel_->text());

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(area_);
    layout->addLayout(buttons);
    resize(480, 320);
    // Caption until the first Load says which text is edited.
    setWindowTitle(ToQt(settings::TemplateCaption(settings::TemplateKind::Header)));
    setAccessibleName(windowTitle());

    connect(ok_, &QPushButton::clicked, this, &TemplateEditorDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &TemplateEditorDialog::reject);
}

bool TemplateEditorDialog::Load(settings::TemplateKind kind, const std::string& sjisName) {
    std::optional<settings::TemplateDocument> doc;
    try {
        doc = settings::OpenTemplate(dataDir_, kind, sjisName);
    } catch (const std::exception& e) {
        ShowNotice(parentWidget() ? parentWidget() : this, app::MainScreen::ErrorText(e));
        return false;
    }
    if (!doc) return false;
    path_ = doc->Path;
    setWindowTitle(ToQt(settings::TemplateCaption(kind)));
    setAccessibleName(windowTitle());
    // The area holds lines separated by LF; each loaded line keeps its line break.
    QString text;
    for (const std::string& line : doc->Lines) text += ToQt(line) + QLatin1Char('\n');
    area_->setPlainText(text);
    return true;
}

void TemplateEditorDialog::accept() {
    const auto sjis = TryFromQt(area_->toPlainText());
    if (!sjis) {
        ShowNotice(this, platform::texts().NotShiftJisText);
        return;
    }
    std::string bytes;
    bytes.reserve(sjis->size() + sjis->size() / 16);
    for (char c : *sjis) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    try {
        settings::SaveTemplate(path_, bytes);
    } catch (const std::exception& e) {
        ShowNotice(this, app::MainScreen::ErrorText(e));
        return;
    }
    QDialog::accept();
}

}  // namespace ui

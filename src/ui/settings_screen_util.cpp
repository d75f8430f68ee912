#include "ui/settings_screen_util.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QValidator>
#include <QWidget>

#include "ui/qt_text.h"

namespace ui {

namespace {

// Takes the characters out instead of refusing the edit, so a pasted address that ends with
// a line break, or text copied across lines, arrives as one line.
class OneLineValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        for (qsizetype i = input.size(); i-- > 0;) {
            const QChar c = input.at(i);
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.isNull()) {
                input.remove(i, 1);
                if (i < pos) --pos;
            }
        }
        return Acceptable;
    }
};

}  // namespace

QLineEdit* OneLineField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setValidator(new OneLineValidator(field));
    return field;
}

void SetFieldActive(QWidget* field, bool active) {
    field->setEnabled(active);
    const QPalette app = QApplication::palette();
    const QColor colour = app.color(QPalette::Active, active ? QPalette::Base : QPalette::Button);
    QPalette palette = field->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    field->setPalette(palette);
}

QLabel* LabelFor(QWidget* field, const std::string& sjisLabel, QWidget* parent) {
    auto* label = new QLabel(ToQt(sjisLabel), parent);
    label->setBuddy(field);
    field->setAccessibleName(label->text());
    return label;
}

QMessageBox* ShowNotice(QWidget* parent, const std::string& sjisText) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Fernlay"), ToQt(sjisText),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAccessibleName(box->text());
    box->open();
    return box;
}

}  // namespace ui

#include "ui/settings_screen_util.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QWidget>

#include "ui/qt_text.h"

namespace ui {

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

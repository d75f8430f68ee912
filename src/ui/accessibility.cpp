#include "ui/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace ui {

namespace {

class SelectorAccessible : public QAccessibleWidget {
public:
    explicit SelectorAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override {
        const auto* box = static_cast<const QComboBox*>(widget());
        if (t == QAccessible::Name) return box->accessibleName();
        if (t == QAccessible::Value) return box->currentText();
        return QAccessibleWidget::text(t);
    }
    // Focus sits in the text field inside.
    QAccessibleInterface* focusChild() const override {
        const auto* box = static_cast<const QComboBox*>(widget());
        if (box->lineEdit() && box->lineEdit()->hasFocus())
            return QAccessible::queryAccessibleInterface(box->lineEdit());
        return QAccessibleWidget::focusChild();
    }
};

class StatusLineAccessible : public QAccessibleWidget {
public:
    explicit StatusLineAccessible(StatusLine* line)
        : QAccessibleWidget(line, QAccessible::StatusBar) {}
    QString text(QAccessible::Text t) const override {
        const auto* line = static_cast<const StatusLine*>(widget());
        if (t == QAccessible::Name) return line->Spoken();
        if (t == QAccessible::Value) return line->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* Factory(const QString& key, QObject* object) {
    if (key == QLatin1String("ui::StatusLine")) {
        return new StatusLineAccessible(static_cast<StatusLine*>(object));
    }
    if (key == QLatin1String("QComboBox")) {
        auto* box = static_cast<QComboBox*>(object);
        // Only the lists named here; Qt's own interface serves every other.
        if (box->property("fernlayNamed").toBool()) return new SelectorAccessible(box);
    }
    return nullptr;
}

// An interface Qt made while the object was still being built (with assistive software
// running) would keep serving it; drop it so the next query comes to Factory.
template <class Ours>
void UseOurInterface(QObject* object) {
    QAccessibleInterface* current = QAccessible::queryAccessibleInterface(object);
    if (current && !dynamic_cast<Ours*>(current))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}

}  // namespace

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

void NameSelector(QComboBox* box, const QString& label) {
    InstallAccessibility();
    box->setProperty("fernlayNamed", true);
    box->setAccessibleName(label);
    if (box->lineEdit()) box->lineEdit()->setAccessibleName(label);
    UseOurInterface<SelectorAccessible>(box);
}

StatusLine::StatusLine(const QString& what, QWidget* parent) : QLabel(parent) {
    InstallAccessibility();
    setAccessibleName(what);
    UseOurInterface<StatusLineAccessible>(this);
}

QString StatusLine::Spoken() const {
    if (text().isEmpty()) return accessibleName();
    return accessibleName() + QStringLiteral("：") + text();
}

void StatusLine::SetLine(const QString& line) {
    if (line == text()) return;
    setText(line);
    QAccessibleEvent named(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    QAccessibleValueChangeEvent value(this, line);
    QAccessible::updateAccessibility(&value);
}

}  // namespace ui

#include "ui/keys.h"

#include <QAbstractButton>
#include <QAction>

namespace ui::keys {

QString WithKey(const QString& text, const QKeySequence& key) {
    return text + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) + QLatin1Char(')');
}

void Bind(QAction* action, const QKeySequence& key) {
    action->setShortcut(key);
    action->setToolTip(WithKey(action->text(), key));
}

void Bind(QAbstractButton* button, const QKeySequence& key) {
    button->setShortcut(key);
    ShowKey(button, key);
}

void ShowKey(QAbstractButton* button, const QKeySequence& key) {
    button->setToolTip(WithKey(button->text(), key));
}

}  // namespace ui::keys

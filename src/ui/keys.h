#pragma once
// The keyboard shortcuts of every window, in one table so one action has one key everywhere
// ("終了" is Ctrl+Q in the main window and in the windows that have that button), and the
// tooltip form that shows them.
#include <QKeySequence>
#include <QString>

class QAbstractButton;
class QAction;

namespace ui::keys {

inline const QKeySequence Send{Qt::ALT | Qt::Key_S};
inline const QKeySequence Delete{Qt::ALT | Qt::Key_D};
inline const QKeySequence Resend{Qt::ALT | Qt::Key_R};
inline const QKeySequence Preview{Qt::ALT | Qt::Key_P};
inline const QKeySequence Environment{Qt::ALT | Qt::Key_E};
inline const QKeySequence Exit{Qt::CTRL | Qt::Key_Q};
inline const QKeySequence Version{Qt::ALT | Qt::Key_V};
inline const QKeySequence Help{Qt::Key_F1};
inline const QKeySequence Browse{Qt::CTRL | Qt::Key_O};
inline const QKeySequence RemoveFromList{Qt::ALT | Qt::Key_L};

// "text (key)", the key in the desktop's own spelling.
QString WithKey(const QString& text, const QKeySequence& key);

// Gives the action or button its key and a tooltip naming it.
void Bind(QAction* action, const QKeySequence& key);
void Bind(QAbstractButton* button, const QKeySequence& key);
// A tooltip for a key the dialog itself handles (Enter for the default button, Esc).
void ShowKey(QAbstractButton* button, const QKeySequence& key);

}  // namespace ui::keys

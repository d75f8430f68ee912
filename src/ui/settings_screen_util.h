#pragma once
// Small pieces shared by the screens: one-line fields, field colours, labelled fields and the
// non-blocking message box.
#include <string>

class QLabel;
class QLineEdit;
class QMessageBox;
class QWidget;

namespace ui {

// A text field whose value goes into one line of a data file or a protocol command: CR, LF
// and NUL are taken out of whatever is typed, pasted or set, so a value never holds them.
QLineEdit* OneLineField(QWidget* parent);

// Enabled fields show the window colour, disabled ones the button-face colour; the text
// stays either way.
void SetFieldActive(QWidget* field, bool active);

// A label above/before its field; the field takes the label text as its accessible name.
QLabel* LabelFor(QWidget* field, const std::string& sjisLabel, QWidget* parent);

// Window-modal message over parent that does not block the caller (the screen stays as it
// is underneath). Owned by parent, deleted when closed.
QMessageBox* ShowNotice(QWidget* parent, const std::string& sjisText);

}  // namespace ui

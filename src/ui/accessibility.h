#pragma once
// What assistive software is told beyond Qt's defaults: an editable drop-down list is named
// by its label (Qt names it by its current text) with that text as its value, and a status
// line says what it is and what it shows, announcing each new text.
#include <QLabel>
#include <QString>

class QComboBox;

namespace ui {

// Installs the accessible interfaces below; safe to call more than once.
void InstallAccessibility();

// Names an editable drop-down list and its text field by the label beside it.
void NameSelector(QComboBox* box, const QString& label);

// A status line: its accessible name is "<what>：<text>", its value the text; every change
// is announced as a name and a value change.
class StatusLine : public QLabel {
    Q_OBJECT
public:
    StatusLine(const QString& what, QWidget* parent);
    void SetLine(const QString& text);
    // What assistive software reads.
    QString Spoken() const;
};

}  // namespace ui

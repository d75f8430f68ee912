#pragma once
// The mail preview ("ﾒｰﾙﾌﾟﾚﾋﾞｭｰ"): header, placeholder download address and detail block,
// footer; read-only, with an "OK" button.
#include <QDialog>

#include "app/main_screen.h"

class QPlainTextEdit;
class QPushButton;

namespace ui {

class PreviewDialog : public QDialog {
    Q_OBJECT
public:
    PreviewDialog(app::MainScreen& screen, QWidget* parent);
    // Fills the text from the main screen and shows the window modally.
    int run();
    QPlainTextEdit* TextArea() const { return text_; }
    QPushButton* OkButton() const { return ok_; }

private:
    app::MainScreen& screen_;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace ui

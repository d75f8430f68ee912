#pragma once
// The resend selection ("再送信ﾃﾞｰﾀ選択"): the log grid and "選択" / "終了".
#include <QDialog>
#include <cstddef>

#include "app/main_screen.h"

class QPushButton;
class QTableWidget;

namespace ui {

class ResendDialog : public QDialog {
    Q_OBJECT
public:
    ResendDialog(app::MainScreen& screen, QWidget* parent);
    // Fills the grid from the log list and shows the window modally.
    int run();
    QTableWidget* Grid() const { return grid_; }
    QPushButton* SelectButton() const { return select_; }
    QPushButton* ExitButton() const { return exit_; }

private:
    void Select();
    app::MainScreen& screen_;
    QTableWidget* grid_ = nullptr;
    QPushButton* select_ = nullptr;
    QPushButton* exit_ = nullptr;
    std::size_t shown_ = 0;
};

}  // namespace ui

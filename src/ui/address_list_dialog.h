#pragma once
// The address list (caption "ｱﾄﾞﾚｽ一覧"): a grid with the header "名前" / "電子ﾒｰﾙｱﾄﾞﾚｽ"
// and the buttons "新規", "修正", "削除", "閉じる". However it closes, the main screen
// refills its recipient selector.
#include <QDialog>

#include "app/main_screen.h"

class QPushButton;
class QTableWidget;

namespace ui {

class AddressEntryDialog;

class AddressListDialog : public QDialog {
    Q_OBJECT
public:
    AddressListDialog(app::MainScreen& screen, QWidget* parent);

    // Shows the screen modally; returns the dialog result.
    int run();
    // Rebuilds the grid: one row per entry, or one empty row for an empty book.
    void Redraw();

    // Data row selected (0 when nothing is); row r is the book's line r.
    int SelectedRow() const;
    void SelectRow(int row);

    QTableWidget* Grid() const { return grid_; }
    AddressEntryDialog* Entry() const { return entry_; }
    QPushButton* NewButton() const { return new_; }
    QPushButton* ModifyButton() const { return modify_; }
    QPushButton* DeleteButton() const { return delete_; }
    QPushButton* CloseButton() const { return close_; }

public slots:
    void NewEntry();
    void ModifyEntry();
    void DeleteEntry();
    void done(int result) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    app::MainScreen& screen_;
    AddressEntryDialog* entry_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QPushButton* new_ = nullptr;
    QPushButton* modify_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace ui

#pragma once
// The sender profile list (caption "送信ｱﾄﾞﾚｽ設定"): one row per profile line with the
// standard mark, and the buttons "新規", "修正", "複製", "削除", "標準", "閉じる". However it
// closes, the main screen refills its sender selector and loads the selected profile.
#include <QDialog>

#include "app/main_screen.h"

class QPushButton;
class QTableWidget;

namespace ui {

class ProfileEditorDialog;

class ProfileListDialog : public QDialog {
    Q_OBJECT
public:
    ProfileListDialog(app::MainScreen& screen, QWidget* parent);

    // Shows the screen modally; returns the dialog result.
    int run();
    // Rebuilds the grid from the profile list, keeping the selected row where it can.
    void Redraw();

    // Row of the grid selected (0 when nothing is).
    int SelectedRow() const;
    void SelectRow(int row);

    QTableWidget* Grid() const { return grid_; }
    ProfileEditorDialog* Editor() const { return editor_; }
    QPushButton* NewButton() const { return new_; }
    QPushButton* ModifyButton() const { return modify_; }
    QPushButton* DuplicateButton() const { return duplicate_; }
    QPushButton* DeleteButton() const { return delete_; }
    QPushButton* StandardButton() const { return standard_; }
    QPushButton* CloseButton() const { return close_; }

public slots:
    void NewProfile();
    void ModifyProfile();
    void DuplicateProfile();
    void DeleteProfile();
    void SetStandardProfile();
    void done(int result) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    // Runs a store operation with its messages shown over this screen.
    template <class Operation>
    void WithMessages(Operation op);

    app::MainScreen& screen_;
    ProfileEditorDialog* editor_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QPushButton* new_ = nullptr;
    QPushButton* modify_ = nullptr;
    QPushButton* duplicate_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* standard_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace ui

#pragma once
// The deletion window ("ﾃﾞｰﾀ削除"): the log grid, "ﾘｽﾄのみ削除", "ﾃﾞｰﾀ削除", "終了" and a
// status line. It owns the deletion logic and its FTP client.
#include <QDialog>
#include <memory>

#include "app/deletion.h"
#include "app/main_screen.h"

class QPushButton;
class QTableWidget;

namespace ui {

class StatusLine;

class DeletionDialog : public QDialog, public app::DeletionView {
    Q_OBJECT
public:
    DeletionDialog(app::MainScreen& screen, QWidget* parent);
    ~DeletionDialog() override;
    int run();

    QTableWidget* Grid() const { return grid_; }
    QPushButton* RemoveButton() const { return remove_; }
    QPushButton* DeleteButton() const { return delete_; }
    QPushButton* ExitButton() const { return exit_; }

    // app::DeletionView
    void SetGridRows(const std::vector<app::LogGridRow>& rows) override;
    int SelectedRow() const override;
    void SetStatus(const std::string& text) override;
    std::string Status() const override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    bool AskTrustCertificate(const app::CertificateQuestion& question) override;

protected:
    void reject() override;

private:
    QTableWidget* grid_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* exit_ = nullptr;
    StatusLine* status_ = nullptr;
    std::unique_ptr<app::Deletion> deletion_;
    bool closeWhenDone_ = false;  // closed while a deletion ran
};

}  // namespace ui

#pragma once
// The address entry screen (caption "新規登録" or "登録修正"): "氏名" and "電子ﾒｰﾙｱﾄﾞﾚｽ" with
// "登録" and "Cancel". "登録" adds the entry or replaces the remembered one.
#include <QDialog>
#include <cstddef>

#include "app/main_screen.h"

class QLineEdit;
class QPushButton;

namespace ui {

class AddressEntryDialog : public QDialog {
    Q_OBJECT
public:
    AddressEntryDialog(app::MainScreen& screen, QWidget* parent);

    // Prepare the visit; the caller shows the screen.
    void FillNew();
    void FillModify(std::size_t pos);

    bool IsNewMode() const { return newMode_; }
    QLineEdit* NameField() const { return name_; }
    QLineEdit* AddressField() const { return address_; }
    QPushButton* RegisterButton() const { return register_; }
    QPushButton* CancelButton() const { return cancel_; }

public slots:
    // "登録": refuses a "," in the name (it would move part of the name into the address)
    // with a message and stays open; otherwise stores the entry and closes.
    void accept() override;

private:
    settings::AddressBook& book_;
    bool newMode_ = true;
    std::size_t position_ = 0;
    QLineEdit* name_ = nullptr;
    QLineEdit* address_ = nullptr;
    QPushButton* register_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace ui

#include "ui/address_entry_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/texts.h"
#include "ui/qt_text.h"
#include "ui/settings_screen_util.h"

namespace ui {

AddressEntryDialog::AddressEntryDialog(app::MainScreen& screen, QWidget* parent)
    : QDialog(parent), book_(screen.Addresses()) {
    const auto& t = platform::texts();
    name_ = OneLineField(this);
    address_ = OneLineField(this);
    register_ = new QPushButton(ToQt(t.RegisterButton), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    register_->setAccessibleName(register_->text());
    cancel_->setAccessibleName(cancel_->text());
    register_->setDefault(true);

    auto* form = new QFormLayout;
    form->setRowWrapPolicy(QFormLayout::WrapAllRows);
    form->addRow(LabelFor(name_, t.PersonNameLabel, this), name_);
    form->addRow(LabelFor(address_, t.MailAddressLabel, this), address_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(register_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(register_, &QPushButton::clicked, this, &AddressEntryDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &AddressEntryDialog::reject);
    FillNew();
}

void AddressEntryDialog::FillNew() {
    newMode_ = true;
    position_ = 0;
    setWindowTitle(ToQt(platform::texts().NewEntryCaption));
    setAccessibleName(windowTitle());
    name_->clear();
    address_->clear();
}

void AddressEntryDialog::FillModify(std::size_t pos) {
    newMode_ = false;
    position_ = pos;
    setWindowTitle(ToQt(platform::texts().ModifyEntryCaption));
    setAccessibleName(windowTitle());
    const settings::TAddressEntry entry = book_.Entry(pos);
    name_->setText(ToQt(entry.Name));
    address_->setText(ToQt(entry.Address));
}

void AddressEntryDialog::accept() {
    const auto& t = platform::texts();
    const auto name = TryFromQt(name_->text());
    const auto address = TryFromQt(address_->text());
    if (!name || !address) {
        ShowNotice(this, t.NotShiftJisText);
        return;
    }
    const settings::TAddressEntry entry{*name, *address};
    if (settings::NameHasComma(entry)) {
        name_->setFocus();
        ShowNotice(this, t.CommaInField + t.PersonNameLabel);
        return;
    }
    try {
        if (newMode_)
            book_.Add(entry);
        else
            book_.Modify(position_, entry);
    } catch (const std::exception& e) {
        ShowNotice(this, app::MainScreen::ErrorText(e));
        return;
    }
    QDialog::accept();
}

}  // namespace ui

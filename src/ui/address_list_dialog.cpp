#include "ui/address_list_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/texts.h"
#include "ui/address_entry_dialog.h"
#include "ui/qt_text.h"
#include "ui/settings_screen_util.h"

namespace ui {

namespace {

QPushButton* Button(const std::string& sjis, QWidget* parent) {
    auto* button = new QPushButton(ToQt(sjis), parent);
    button->setAccessibleName(button->text());
    return button;
}

QTableWidgetItem* Cell(const std::string& sjis) {
    auto* item = new QTableWidgetItem(ToQt(sjis));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

}  // namespace

AddressListDialog::AddressListDialog(app::MainScreen& screen, QWidget* parent)
    : QDialog(parent), screen_(screen) {
    const auto& t = platform::texts();
    setWindowTitle(ToQt(t.AddressListCaption));
    setAccessibleName(windowTitle());

    grid_ = new QTableWidget(0, 2, this);
    grid_->setAccessibleName(ToQt(t.AddressGridName));
    grid_->setHorizontalHeaderLabels({ToQt(t.MailNameLabel), ToQt(t.MailAddressLabel)});
    grid_->verticalHeader()->hide();
    grid_->setColumnWidth(0, 100);
    grid_->setColumnWidth(1, 160);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setTabKeyNavigation(false);  // Tab leaves the grid; the arrows move in it
    grid_->setMinimumSize(100 + 160 + 4, 200);

    new_ = Button(t.NewButton, this);
    modify_ = Button(t.ModifyButton, this);
    delete_ = Button(t.DeleteButton, this);
    close_ = Button(t.CloseButton, this);
    modify_->setDefault(true);  // Enter on the list opens the selected entry
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {new_, modify_, delete_, close_}) buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);

    entry_ = new AddressEntryDialog(screen_, this);

    connect(new_, &QPushButton::clicked, this, &AddressListDialog::NewEntry);
    connect(modify_, &QPushButton::clicked, this, &AddressListDialog::ModifyEntry);
    connect(delete_, &QPushButton::clicked, this, &AddressListDialog::DeleteEntry);
    connect(close_, &QPushButton::clicked, this, &AddressListDialog::accept);
    connect(entry_, &QDialog::accepted, this, &AddressListDialog::Redraw);

    Redraw();
}

int AddressListDialog::run() { return exec(); }

void AddressListDialog::showEvent(QShowEvent* e) {
    Redraw();
    QDialog::showEvent(e);
}

int AddressListDialog::SelectedRow() const { return std::max(grid_->currentRow(), 0); }

void AddressListDialog::SelectRow(int row) { grid_->setCurrentCell(row, 0); }

void AddressListDialog::Redraw() {
    const int keep = grid_->currentRow();
    const auto rows = screen_.Addresses().GridRows();
    grid_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        grid_->setItem(r, 0, Cell(rows[r].Name));
        grid_->setItem(r, 1, Cell(rows[r].Address));
    }
    grid_->setCurrentCell(std::clamp(keep, 0, grid_->rowCount() - 1), 0);
}

void AddressListDialog::NewEntry() {
    entry_->FillNew();
    entry_->open();
}

void AddressListDialog::ModifyEntry() {
    if (screen_.Addresses().empty()) return;
    entry_->FillModify(static_cast<std::size_t>(SelectedRow()));
    entry_->open();
}

void AddressListDialog::DeleteEntry() {
    if (screen_.Addresses().empty()) return;
    screen_.Addresses().Delete(static_cast<std::size_t>(SelectedRow()));
    Redraw();
}

void AddressListDialog::done(int result) {
    QDialog::done(result);
    screen_.FillRecipientSelector();
}

}  // namespace ui

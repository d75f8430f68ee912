#include "ui/profile_list_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <utility>

#include "platform/texts.h"
#include "settings/profile_connections.h"
#include "ui/profile_editor_dialog.h"
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

ProfileListDialog::ProfileListDialog(app::MainScreen& screen, QWidget* parent)
    : QDialog(parent), screen_(screen) {
    const auto& t = platform::texts();
    setWindowTitle(ToQt(t.ProfileListCaption));
    setAccessibleName(windowTitle());

    grid_ = new QTableWidget(0, 2, this);
    grid_->setAccessibleName(ToQt(t.ProfileGridName));
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->setColumnWidth(0, 150);
    grid_->setColumnWidth(1, 99);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setTabKeyNavigation(false);  // Tab leaves the grid; the arrows move in it
    grid_->setMinimumWidth(150 + 99 + 4);

    new_ = Button(t.NewButton, this);
    modify_ = Button(t.ModifyButton, this);
    duplicate_ = Button(t.DuplicateButton, this);
    delete_ = Button(t.DeleteButton, this);
    standard_ = Button(t.StandardButton, this);
    close_ = Button(t.CloseButton, this);
    modify_->setDefault(true);  // Enter on the list opens the selected profile
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {new_, modify_, duplicate_, delete_, standard_, close_})
        buttons->addWidget(b);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);

    editor_ = new ProfileEditorDialog(screen_, this);

    connect(new_, &QPushButton::clicked, this, &ProfileListDialog::NewProfile);
    connect(modify_, &QPushButton::clicked, this, &ProfileListDialog::ModifyProfile);
    connect(duplicate_, &QPushButton::clicked, this, &ProfileListDialog::DuplicateProfile);
    connect(delete_, &QPushButton::clicked, this, &ProfileListDialog::DeleteProfile);
    connect(standard_, &QPushButton::clicked, this, &ProfileListDialog::SetStandardProfile);
    connect(close_, &QPushButton::clicked, this, &ProfileListDialog::accept);
    // A saved profile changes the list; a cancelled visit changes nothing.
    connect(editor_, &QDialog::accepted, this, &ProfileListDialog::Redraw);

    Redraw();
}

int ProfileListDialog::run() { return exec(); }

void ProfileListDialog::showEvent(QShowEvent* e) {
    Redraw();
    QDialog::showEvent(e);
}

int ProfileListDialog::SelectedRow() const { return std::max(grid_->currentRow(), 0); }

void ProfileListDialog::SelectRow(int row) { grid_->setCurrentCell(row, 0); }

void ProfileListDialog::Redraw() {
    const int keep = grid_->currentRow();
    const auto rows = screen_.Profiles().GridRows();
    grid_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        grid_->setItem(r, 0, Cell(rows[r].Name));
        grid_->setItem(r, 1, Cell(rows[r].Mark));
    }
    grid_->setCurrentCell(std::clamp(keep, 0, grid_->rowCount() - 1), 0);
}

template <class Operation>
void ProfileListDialog::WithMessages(Operation op) {
    settings::ProfileStore& store = screen_.Profiles();
    auto previous =
        std::exchange(store.OnMessage, [this](const std::string& text) { ShowNotice(this, text); });
    try {
        op(store);
    } catch (const std::exception& e) {
        ShowNotice(this, app::MainScreen::ErrorText(e));
    }
    store.OnMessage = std::move(previous);
    Redraw();
}

void ProfileListDialog::NewProfile() {
    editor_->FillNew();
    editor_->open();
}

void ProfileListDialog::ModifyProfile() {
    const settings::ProfileStore& store = screen_.Profiles();
    if (store.empty()) return;
    const auto pos = static_cast<std::size_t>(SelectedRow());
    const std::string name = store.NameAt(pos);
    // The editor shows the prevailing line of that name (the last one), which replaces
    // the line of the selected row on "OK".
    const auto found = store.FindProfileIndex(name);
    if (!found) return;
    editor_->FillModify(pos, store.Lines().at(*found), name);
    editor_->open();
}

void ProfileListDialog::DuplicateProfile() {
    const auto pos = static_cast<std::size_t>(SelectedRow());
    WithMessages([this, pos](settings::ProfileStore& store) {
        settings::DuplicateProfileWithConnection(store, screen_.Connections(), pos);
    });
}

void ProfileListDialog::DeleteProfile() {
    const auto pos = static_cast<std::size_t>(SelectedRow());
    WithMessages([this, pos](settings::ProfileStore& store) {
        settings::DeleteProfileWithConnection(store, screen_.Connections(), pos);
    });
}

void ProfileListDialog::SetStandardProfile() {
    const auto pos = static_cast<std::size_t>(SelectedRow());
    WithMessages([pos](settings::ProfileStore& store) { store.SetStandardProfile(pos); });
}

void ProfileListDialog::done(int result) {
    QDialog::done(result);
    // Sender selector, standard profile and its texts, as at start.
    try {
        screen_.RefreshProfiles();
    } catch (const std::exception& e) {
        ShowNotice(parentWidget() ? parentWidget() : this, app::MainScreen::ErrorText(e));
    }
}

}  // namespace ui

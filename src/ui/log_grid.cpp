#include "ui/log_grid.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>

#include "platform/texts.h"
#include "ui/qt_text.h"

namespace ui {

QTableWidget* MakeLogGrid(QWidget* parent) {
    const auto& t = platform::texts();
    auto* grid = new QTableWidget(0, 3, parent);
    grid->setHorizontalHeaderLabels(
        {ToQt(t.GridDate), ToQt(t.GridFileName), ToQt(t.GridRecipient)});
    grid->setAccessibleName(ToQt(t.LogGridName));
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setTabKeyNavigation(false);  // Tab leaves the grid; the arrows move in it
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(15);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // 60 px fits a date only in small fonts; the date column grows so a date stays whole.
    const int dateWidth =
        std::max(60, grid->fontMetrics().horizontalAdvance(QStringLiteral("88/88/88")) + 12);
    grid->setColumnWidth(0, dateWidth);
    grid->setColumnWidth(1, 100);
    grid->setColumnWidth(2, 200);
    grid->setFixedWidth(306 + dateWidth + grid->verticalScrollBar()->sizeHint().width() + 4);
    return grid;
}

void FillGridRows(QTableWidget* grid, const std::vector<app::LogGridRow>& rows) {
    grid->clearContents();
    grid->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const auto& row = rows[static_cast<std::size_t>(r)];
        grid->setItem(r, 0, new QTableWidgetItem(ToQt(row.Date)));
        grid->setItem(r, 1, new QTableWidgetItem(ToQt(row.FileName)));
        grid->setItem(r, 2, new QTableWidgetItem(ToQt(row.Recipient)));
    }
    if (!rows.empty()) grid->selectRow(0);
}

int SelectedGridRow(const QTableWidget* grid) {
    const auto selected = grid->selectionModel()->selectedRows();
    if (selected.isEmpty()) return 0;
    return selected.first().row() + 1;
}

}  // namespace ui

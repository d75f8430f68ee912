#pragma once
// The three-column log grid of the resend and deletion windows.
#include <vector>

#include "app/send_log.h"

class QTableWidget;
class QWidget;

namespace ui {

QTableWidget* MakeLogGrid(QWidget* parent);
void FillGridRows(QTableWidget* grid, const std::vector<app::LogGridRow>& rows);
// 1 for the first data row, 0 when nothing is selected (the header counts as row 0).
int SelectedGridRow(const QTableWidget* grid);

}  // namespace ui

#pragma once
// The version window: caption "バージョン情報", product name, version and "OK".
#include <QDialog>

namespace ui {

class VersionWindow : public QDialog {
    Q_OBJECT
public:
    explicit VersionWindow(QWidget* parent = nullptr);
};

}  // namespace ui

#pragma once
// The header/footer template editor (caption "ヘッダー編集" or "フッター編集"): one text
// area holding a profile's ".hed" or ".fot" file. "OK" writes the file at once, independent
// of the profile editor; "Cancel" leaves it as it is.
#include <QDialog>
#include <filesystem>
#include <string>

#include "settings/header_footer.h"

class QPlainTextEdit;
class QPushButton;

namespace ui {

class TemplateEditorDialog : public QDialog {
    Q_OBJECT
public:
    TemplateEditorDialog(std::filesystem::path dataDir, QWidget* parent);

    // Loads the file of the profile name (creating it empty with the placeholder line when
    // it is missing). False when the name is empty or the file cannot be read or created
    // (a message is shown for the latter); the screen is not shown then.
    bool Load(settings::TemplateKind kind, const std::string& sjisName);

    const std::filesystem::path& Path() const { return path_; }
    QPlainTextEdit* Area() const { return area_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

public slots:
    // Writes the area's text to the file (lines joined by CR LF, nothing added) and closes;
    // on a write failure the message is shown and the screen stays open.
    void accept() override;

private:
    std::filesystem::path dataDir_;
    std::filesystem::path path_;
    QPlainTextEdit* area_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace ui

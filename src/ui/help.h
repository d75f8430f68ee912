#pragma once
// The "ヘルプ" action: the help file (platform::HelpFilePath), opened by the desktop's default
// handler.
#include <filesystem>

class QWidget;

namespace ui {

// Opens the file; a missing file or a failed open is reported in a message box.
void OpenHelpFile(QWidget* parent, const std::filesystem::path& helpFile);

}  // namespace ui

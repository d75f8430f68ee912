#pragma once
// The "ヘルプ" action: the executable's path with its extension replaced by ".hlp", opened
// by the desktop's default handler.
#include <filesystem>

class QWidget;

namespace ui {

// The running program's executable (/proc/self/exe).
std::filesystem::path ExecutablePath();
std::filesystem::path HelpFilePath(const std::filesystem::path& executable);

// Opens the file; a missing file or a failed open is reported in a message box.
void OpenHelpFile(QWidget* parent, const std::filesystem::path& helpFile);

}  // namespace ui

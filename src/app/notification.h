#pragma once
// The notification body and the preview of it; all texts Shift_JIS.
#include <cstdint>
#include <string>
#include <vector>

namespace app {

// Header lines, "", the download address of the file, "", the detail block, "", footer lines.
// utf8Names: the upload sent the name as UTF-8 (see DownloadAddress).
std::vector<std::string> ComposeNotification(const std::vector<std::string>& header,
                                             const std::string& downloadBase,
                                             const std::string& fileName, std::int64_t fileSize,
                                             const std::vector<std::string>& footer,
                                             bool utf8Names);

// The preview window's text: always the placeholders, never a chosen file.
std::vector<std::string> PreviewLines(const std::vector<std::string>& header,
                                      const std::string& downloadBase,
                                      const std::vector<std::string>& footer);

class MainScreen;
// The preview of the main screen's current header, directory and footer; also recomputes the
// screen's DownloadBase.
std::vector<std::string> PreviewFor(MainScreen& screen);

}  // namespace app

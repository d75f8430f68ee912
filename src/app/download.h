#pragma once
// The download address of the send directory and the detail block of the notification.
#include <cstdint>
#include <string>
#include <vector>

namespace app {

// WwwAddress + normalised directory, always ending in "/"; all texts Shift_JIS.
std::string BuildDownloadBase(const std::string& wwwAddress, const std::string& directoryText);

// The three detail lines for a file name and size in bytes.
std::vector<std::string> DetailBlock(const std::string& fileName, std::int64_t fileSize);
// The same three lines with the placeholders "****.***" and "******".
std::vector<std::string> DetailBlockPlaceholder();

// The main screen's detail area: "", DownloadBase + "****.***", "", the placeholder block.
std::vector<std::string> DetailTemplateLines(const std::string& downloadBase);

}  // namespace app

#pragma once
// The download address of the send directory and the detail block of the notification.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// Directory and file names are percent-encoded over the bytes the FTP server received for
// them: the Shift_JIS text itself, or its UTF-8 form when the session sent names as UTF-8
// (`utf8Names`).

// WwwAddress as typed + the normalised directory, percent-encoded, always ending in "/"; all
// texts Shift_JIS.
std::string BuildDownloadBase(const std::string& wwwAddress, const std::string& directoryText,
                              bool utf8Names);

// The download address of a file: DownloadBase + the name, percent-encoded.
std::string DownloadAddress(const std::string& downloadBase, const std::string& fileName,
                            bool utf8Names);

// Percent-encodes every byte of a path outside RFC 3986's unreserved characters,
// sub-delimiters, ":", "@" and "/", so a browser asks the server for exactly these bytes.
std::string PercentEncodePath(std::string_view bytes);

// The three detail lines for a file name and size in bytes.
std::vector<std::string> DetailBlock(const std::string& fileName, std::int64_t fileSize);
// The same three lines with the placeholders "****.***" and "******".
std::vector<std::string> DetailBlockPlaceholder();

// The main screen's detail area: "", DownloadBase + "****.***", "", the placeholder block.
std::vector<std::string> DetailTemplateLines(const std::string& downloadBase);

}  // namespace app

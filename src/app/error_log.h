#pragma once
// Appends "yy/mm/dd hh:mm:ss:" + message + CR LF (local time) to ErrorLog.txt in the data
// directory, creating it when missing. Throws platform::Error when the file cannot be written.
#include <ctime>
#include <filesystem>
#include <string>

namespace app {

void AppendErrorLog(const std::filesystem::path& dataDir, const std::string& message);

// The line without the CR LF, for a given local time (separate so the format can be tested).
std::string ErrorLogLine(const std::tm& local, const std::string& message);

}  // namespace app

#include "app/error_log.h"

#include <cstdio>

#include "platform/data_dir.h"

namespace app {

std::string ErrorLogLine(const std::tm& local, const std::string& message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%02d %02d:%02d:%02d:", local.tm_year % 100,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return stamp + message;
}

void AppendErrorLog(const std::filesystem::path& dataDir, const std::string& message) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    platform::AppendLine(platform::ResolveInDir(dataDir, "ErrorLog.txt"),
                         ErrorLogLine(local, message));
}

}  // namespace app

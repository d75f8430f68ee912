#include "app/download.h"

#include "app/remote_path.h"
#include "platform/sjis.h"
#include "platform/texts.h"

namespace app {

std::string BuildDownloadBase(const std::string& wwwAddress, const std::string& directoryText) {
    std::string address = wwwAddress;
    // Case-sensitive on purpose: "HTTP://h" gets a second scheme put in front.
    if (address.compare(0, 4, "http") != 0) {
        if (!address.empty() && address.front() == '/') address.erase(0, 1);
        address.insert(0, "http://");
    }
    const std::size_t last = platform::sjis::LastCharStart(address);
    if (last != platform::sjis::npos && platform::sjis::CharLength(address, last) == 1 &&
        (address[last] == '\\' || address[last] == '/')) {
        address.erase(last);
    }
    const std::string directory = NormalizeRemotePath(directoryText);
    address += directory;
    const std::size_t end = platform::sjis::LastCharStart(directory);
    if (platform::sjis::CharLength(directory, end) != 1 || directory[end] != '/') address += '/';
    return address;
}

std::vector<std::string> DetailBlock(const std::string& fileName, std::int64_t fileSize) {
    const auto& t = platform::texts();
    return {t.DetailRule, t.DetailFileName + fileName,
            t.DetailFileSize + std::to_string(fileSize) + t.DetailBytes};
}

std::vector<std::string> DetailBlockPlaceholder() {
    const auto& t = platform::texts();
    return {t.DetailRule, t.DetailFileName + "****.***",
            t.DetailFileSize + "******" + t.DetailBytes};
}

std::vector<std::string> DetailTemplateLines(const std::string& downloadBase) {
    std::vector<std::string> lines{"", downloadBase + "****.***", ""};
    for (auto& line : DetailBlockPlaceholder()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace app

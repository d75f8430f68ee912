#include "app/download.h"

#include "app/remote_path.h"
#include "platform/screen_text.h"
#include "platform/sjis.h"
#include "platform/texts.h"

namespace app {

namespace {

// The bytes a name reached the server as. A name without a UTF-8 form never went out as UTF-8
// (the client refuses it), so its own bytes are the best guess.
std::string ServerBytes(const std::string& sjis, bool utf8Names) {
    if (!utf8Names) return sjis;
    const auto utf8 = platform::TrySjisToUtf8(sjis);
    return utf8 ? *utf8 : sjis;
}

}  // namespace

std::string BuildDownloadBase(const std::string& wwwAddress, const std::string& directoryText,
                              bool utf8Names) {
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
    // Encoded, the path is ASCII: its last byte is its last character.
    const std::string directory =
        PercentEncodePath(ServerBytes(NormalizeRemotePath(directoryText), utf8Names));
    address += directory;
    if (directory.empty() || directory.back() != '/') address += '/';
    return address;
}

std::string DownloadAddress(const std::string& downloadBase, const std::string& fileName,
                            bool utf8Names) {
    return downloadBase + PercentEncodePath(ServerBytes(fileName, utf8Names));
}

std::string PercentEncodePath(std::string_view bytes) {
    static constexpr std::string_view kKept =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$&'()*+,;=:@/";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        if (kKept.find(c) != std::string_view::npos) {
            out += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
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

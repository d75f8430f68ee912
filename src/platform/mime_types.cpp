#include "platform/mime_types.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

std::string Key(std::string_view extension) {
    if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
    std::string key(extension);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

}  // namespace

MimeTypeTable::MimeTypeTable(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::string type, ext;
        if (!(fields >> type)) continue;
        // The first line naming an extension wins, as in the file's own order of precedence.
        while (fields >> ext) byExtension_.emplace(Key(ext), type);
    }
}

std::string MimeTypeTable::Lookup(std::string_view extension) const {
    const std::string key = Key(extension);
    if (key.empty()) return {};
    const auto it = byExtension_.find(key);
    return it == byExtension_.end() ? std::string() : it->second;
}

const MimeTypeTable& SystemMimeTypes() {
    static const MimeTypeTable table("/etc/mime.types");
    return table;
}

std::string MimeTypeForExtension(std::string_view extension) {
    std::string type = SystemMimeTypes().Lookup(extension);
    return type.empty() ? std::string(DefaultMimeType) : type;
}

}  // namespace platform

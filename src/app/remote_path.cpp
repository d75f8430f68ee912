#include "app/remote_path.h"

#include "platform/sjis.h"

namespace app {

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

std::string NormalizeRemotePath(std::string_view text) {
    // The first byte always starts a character, so a separator there is a whole one.
    if (!text.empty() && IsSeparator(text.front())) text.remove_prefix(1);
    std::string path = "/";
    path.append(text);
    const std::size_t last = platform::sjis::LastCharStart(path);
    if (last != 0 && last != platform::sjis::npos && IsSeparator(path[last]) &&
        platform::sjis::CharLength(path, last) == 1) {
        path.erase(last);
    }
    return platform::sjis::ReplaceAll(path, '\\', '/');
}

}  // namespace app

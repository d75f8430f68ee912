#include "platform/reply_text.h"

#include "platform/sjis.h"

namespace platform {

std::string UnreadableReplyText(std::string_view reply) {
    const std::size_t end = reply.find_first_of("\r\n");
    std::string_view line = reply.substr(0, end);
    std::string quoted;
    std::size_t i = 0;
    while (i < line.size() && i < kQuotedReplyLength) {
        const std::size_t n = sjis::CharLength(line, i);
        if (i + n > kQuotedReplyLength) break;
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (n == 1 && (c < 0x20 || c == 0x7F))
            quoted += '?';
        else
            quoted.append(line.substr(i, n));
        i += n;
    }
    if (i < line.size()) quoted += "...";
    return "The server's reply could not be understood: \"" + quoted + "\"";
}

}  // namespace platform

#include "platform/reply_reader.h"

#include <cctype>

namespace platform {

namespace {

bool ThreeDigits(const std::string& line) {
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2]));
}

}  // namespace

bool ReplyParser::Feed(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const bool first = reply_.lines.empty();
    reply_.lines.push_back(line);
    if (style_ == ReplyStyle::Status) {
        reply_.code = line.compare(0, 3, "+OK") == 0 ? 1 : 0;
        return true;
    }
    if (first) {
        if (!ThreeDigits(line) || line[0] == '0') return true;  // not understood: code 0
        reply_.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
        return line.size() == 3 || line[3] != '-';
    }
    // The last line repeats the first line's code, followed by a blank or nothing.
    return line.size() >= 3 && line.compare(0, 3, reply_.lines.front(), 0, 3) == 0 &&
           (line.size() == 3 || line[3] == ' ');
}

Reply ReadReply(Connection& connection, ReplyStyle style, const Wait& wait,
                const std::function<void(const std::string&)>& onLine, std::size_t lineCap) {
    ReplyParser parser(style);
    std::string line;
    for (;;) {
        if (!connection.ReadLine(line, wait, lineCap)) throw NetError(NetErrc::Closed, "");
        const bool done = parser.Feed(line);
        if (onLine) onLine(line);
        if (done) return parser.Result();
    }
}

}  // namespace platform

#pragma once
// The one reader of protocol replies. FTP and SMTP replies ("Coded") are three digits; a
// fourth character "-" opens a multi-line reply that ends with a line of the same three digits
// and a blank (or nothing), and the lines between may hold any text. POP3 replies ("Status")
// are one line beginning "+OK" or "-ERR". The reader acts only on complete replies.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/connection.h"

namespace platform {

enum class ReplyStyle { Coded, Status };

struct Reply {
    // Coded: the three-digit number, 0 when the first line does not begin with one.
    // Status: 1 for "+OK", 0 otherwise.
    int code = 0;
    std::vector<std::string> lines;  // without their line ends
    const std::string& First() const { return lines.front(); }
    const std::string& Last() const { return lines.back(); }
};

// Line by line: Feed returns true once the reply is complete.
class ReplyParser {
public:
    explicit ReplyParser(ReplyStyle style) : style_(style) {}
    bool Feed(std::string line);
    const Reply& Result() const { return reply_; }
    void Reset() { reply_ = Reply{}; }

private:
    ReplyStyle style_;
    Reply reply_;
};

// Reads one whole reply before the deadline; `onLine` sees each line as it arrives, with its
// line end. Throws
// NetError: Closed when the server closes first, ReplyTimedOut, LineTooLong, Canceled.
// A first line that is no reply of the style ends the reply at once with code 0.
Reply ReadReply(Connection& connection, ReplyStyle style, const Wait& wait,
                const std::function<void(const std::string&)>& onLine = {},
                std::size_t lineCap = 4096);

}  // namespace platform

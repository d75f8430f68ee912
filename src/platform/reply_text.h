#pragma once
// The words shown for a server reply that could not be understood. FTP, SMTP and POP3 use the
// same wording, so the user reads the same sentence whichever server misbehaved.
#include <string>
#include <string_view>

namespace platform {

// The longest part of a reply quoted in a message.
inline constexpr std::size_t kQuotedReplyLength = 80;

// "The server's reply could not be understood: " and the reply in double quotes: its first
// line only, control characters shown as "?", cut after kQuotedReplyLength bytes (on a
// character boundary) with "..." added.
std::string UnreadableReplyText(std::string_view reply);

}  // namespace platform

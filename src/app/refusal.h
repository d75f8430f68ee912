#pragma once
// The message that refuses a send because of one field's value, before anything goes out.
#include <string>

namespace app {

enum class RefusalReason {
    ControlCharacter,  // CR, LF or NUL: the value would break its protocol or header line
    Address,           // an envelope address holding "<", ">", "," or a blank
    TooLong,           // the FTP command line would pass the server's limit
    Port,              // a server field's ":port" that is no port number
};

// "「" + field name + "」" + the reason's text (Shift_JIS).
std::string RefusalMessage(const std::string& fieldName, RefusalReason reason);

}  // namespace app

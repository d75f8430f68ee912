// A retrieved message of arbitrary bytes through the parser, header and body; a uuencode format
// error is an expected outcome.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mail/msg_parse.h"
#include "mail/orb_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    mail::TOrbMsg message;
    try {
        mail::ParseReceivedMessage(mail::SplitTextLines(text), message, true, {});
    } catch (const mail::EUudecodeError&) {
    }
    return 0;
}

#include "platform/reply_text.h"

#include <gtest/gtest.h>

namespace {

TEST(UnreadableReplyText, QuotesTheFirstLineReadablyAndCutsItOnACharacter) {
    const std::string words = "The server's reply could not be understood: ";
    const std::string x79(79, 'x');
    const struct {
        const char* name;
        std::string reply;
        std::string quoted;
    } cases[] = {
        {"plain", "abc", "abc"},
        {"only the first line", "abc\r\n250 ok\r\n", "abc"},
        {"control characters shown as ?", std::string("a\tb\x1b\0c", 6), "a?b??c"},
        {"80 bytes stay whole", x79 + "y", x79 + "y"},
        {"longer is cut", x79 + "yz", x79 + "y..."},
        // 0x83 0x41 is one double-byte character: it does not fit after 79 bytes.
        {"double-byte character not split", x79 + "\x83\x41", x79 + "..."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::UnreadableReplyText(c.reply), words + "\"" + c.quoted + "\"") << c.name;
}

}  // namespace

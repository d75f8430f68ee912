// The reply reader on arbitrary server bytes, fed by a peer thread in pieces whose sizes the
// input chooses: it ends every stream with whole replies or a clear error, never a crash.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <thread>

#include "platform/connection.h"
#include "platform/reply_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
    const auto style = data[0] & 1 ? platform::ReplyStyle::Status : platform::ReplyStyle::Coded;
    std::thread peer([&] {
        for (std::size_t at = 1; at < size;) {
            const std::size_t n = std::min<std::size_t>(1 + data[at] % 7, size - at);
            if (::send(pair[1], data + at, n, MSG_NOSIGNAL) < 0) break;
            at += n;
        }
        ::shutdown(pair[1], SHUT_WR);
    });
    platform::Connection connection;
    connection.Adopt(pair[0]);
    for (;;) {
        try {
            const platform::Reply r = platform::ReadReply(
                connection, style, platform::Wait::For(std::chrono::seconds(5)), {}, 64);
            const bool codeOk = style == platform::ReplyStyle::Status
                                    ? (r.code == 0 || r.code == 1)
                                    : (r.code == 0 || (r.code >= 100 && r.code <= 999));
            if (r.lines.empty() || !codeOk) __builtin_trap();
        } catch (const platform::NetError&) {
            break;
        }
    }
    connection.Abort();
    peer.join();
    ::close(pair[1]);
    return 0;
}

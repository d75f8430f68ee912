#include "mail/mail_transport.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/event_pump.h"

namespace mail {

namespace {

// Reads an unsigned decimal number 0..255 that fills the whole piece.
bool IsOctet(const std::string& piece) {
    if (piece.empty() || piece.size() > 3) return false;
    int value = 0;
    for (char c : piece) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

}  // namespace

bool IsDottedAddress(const std::string& text) {
    std::string rest = text;
    for (int i = 0; i < 3; ++i) {
        const auto dot = rest.find('.');
        if (dot == std::string::npos || !IsOctet(rest.substr(0, dot))) return false;
        rest.erase(0, dot + 1);
    }
    return IsOctet(rest);
}

int PortNumber(const std::string& text, int fallback) {
    std::size_t start = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    if (start == std::string::npos) return fallback;
    long value = 0;
    std::size_t i = start;
    if (text[i] == '+') ++i;
    if (i > end) return fallback;
    for (; i <= end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return fallback;
        value = value * 10 + (c - '0');
        if (value > 65535) return fallback;
    }
    return value == 0 ? fallback : static_cast<int>(value);
}

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void RequireSingleLine(const std::string& text, const char* what) {
    if (HasLineBreakOrNul(text)) {
        throw EMailArgumentError(std::string("Line break or NUL in ") + what + ".");
    }
}

std::string TrimBlanks(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

std::uint16_t RoundedPercent(std::uint64_t i, std::uint64_t n) {
    const std::uint64_t num = i * 100;
    std::uint64_t q = num / n;
    const std::uint64_t r2 = (num % n) * 2;
    if (r2 > n || (r2 == n && (q & 1))) ++q;
    return static_cast<std::uint16_t>(q > 65535 ? 65535 : q);
}

void RunPendingEvents() { platform::EventPump::Instance().RunOnePass(); }

TMailSocket::TMailSocket(int stream_timeout_ms) : stream_timeout_ms_(stream_timeout_ms) {}

TMailSocket::~TMailSocket() { conn_.Abort(); }

void TMailSocket::Open(const std::string& host, int port) {
    if (conn_.IsOpen()) Close();
    peer_closed_ = false;
    try {
        // Resolves and connects while the event pump runs; a server that never answers the
        // connection request ends the wait.
        conn_.Connect(host, port, platform::Wait::For(std::chrono::milliseconds(kConnectLimitMs)));
    } catch (const platform::NetError& e) {
        throw EMailSocketError(e.what(), e.SystemError());
    }
    if (OnConnectNotify) OnConnectNotify(this);
}

void TMailSocket::StartTls(const platform::TlsOptions& options) {
    if (!conn_.IsOpen()) throw EMailSocketError("Socket not open", 0);
    conn_.DiscardInput();
    try {
        conn_.StartTls(options, platform::Wait::For(std::chrono::milliseconds(kConnectLimitMs)));
    } catch (const platform::NetError&) {
        // Nothing may follow in clear once TLS was asked for.
        conn_.Abort();
        if (OnDisconnectNotify) OnDisconnectNotify(this);
        throw;
    }
}

void TMailSocket::SendText(const std::string& text) {
    if (!conn_.IsOpen()) throw EMailSocketError("Socket not open", 0);
    try {
        // A server that stops taking data must not hold the program inside a send.
        conn_.Send(text, platform::Wait::For(std::chrono::milliseconds(kDefaultIdleLimitMs)));
    } catch (const platform::NetError& e) {
        throw EMailSocketError(e.what(), e.SystemError());
    }
}

bool TMailSocket::AwaitData(int idle_limit_ms) {
    silent_ = false;
    if (!conn_.IsOpen()) return false;
    const platform::Wait wait = platform::Wait::For(std::chrono::milliseconds(idle_limit_ms));
    try {
        // Readable, closed or failed: the read tells which.
        while (!conn_.InputPending() && !conn_.AtEnd())
            platform::WaitReady(conn_.Fd(), POLLIN, wait, platform::NetErrc::ReplyTimedOut);
    } catch (const platform::NetError& e) {
        if (e.Code() != platform::NetErrc::ReplyTimedOut)
            throw EMailSocketError(e.what(), e.SystemError());
        silent_ = true;
        return false;
    }
    return true;
}

std::string TMailSocket::Read() {
    if (!conn_.IsOpen()) return {};
    char buffer[kReadSize];
    std::size_t n = 0;
    try {
        if (conn_.InputPending())
            n = conn_.Read(buffer, sizeof buffer,
                           platform::Wait::For(std::chrono::milliseconds(stream_timeout_ms_)));
    } catch (const platform::NetError& e) {
        if (e.Code() == platform::NetErrc::ReplyTimedOut) return {};
        throw EMailSocketError(e.what(), e.SystemError());
    }
    if (n == 0 && conn_.AtEnd()) peer_closed_ = true;
    return std::string(buffer, n);
}

std::string TMailSocket::LocalHostName() const {
    if (!conn_.IsOpen()) return {};
    char name[257] = {};
    if (::gethostname(name, 256) != 0) return {};
    return std::string(name, ::strnlen(name, 256));
}

void TMailSocket::Close() {
    if (!conn_.IsOpen()) return;
    conn_.Close();
    if (OnDisconnectNotify) OnDisconnectNotify(this);
}

}  // namespace mail

#include "mail/mail_transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

std::string ErrnoText(const std::string& what, int err) { return what + ": " + std::strerror(err); }

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

TMailSocket::~TMailSocket() {
    if (fd_ >= 0) ::close(fd_);
}

void TMailSocket::Open(const std::string& host, int port) {
    if (fd_ >= 0) Close();
    peer_closed_ = false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (IsDottedAddress(host)) {
        if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
            throw EMailSocketError("Invalid address: " + host, 0);
        }
    } else {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
        if (rc != 0 || found == nullptr) {
            throw EMailSocketError("Host not found: " + host + " (" + ::gai_strerror(rc) + ")", rc);
        }
        addr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw EMailSocketError(ErrnoText("socket", errno), errno);
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        const int err = errno;
        ::close(fd);
        throw EMailSocketError(ErrnoText("connect", err), err);
    }
    fd_ = fd;
    if (OnConnectNotify) OnConnectNotify(this);
}

void TMailSocket::SendText(const std::string& text) {
    if (fd_ < 0) throw EMailSocketError("Socket not open", 0);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            throw EMailSocketError(ErrnoText("send", err), err);
        }
        done += static_cast<std::size_t>(n);
    }
}

bool TMailSocket::AwaitData(int idle_limit_ms) {
    silent_ = false;
    const auto start = std::chrono::steady_clock::now();
    while (fd_ >= 0) {
        pollfd p{fd_, POLLIN, 0};
        const int rc = ::poll(&p, 1, kPollMs);
        if (rc > 0) return true;  // readable, closed or failed: the read tells which
        if (rc < 0 && errno != EINTR) {
            const int err = errno;
            throw EMailSocketError(ErrnoText("poll", err), err);
        }
        RunPendingEvents();
        if (idle_limit_ms > 0 &&
            std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(idle_limit_ms)) {
            silent_ = true;
            return false;
        }
    }
    return false;
}

std::string TMailSocket::Read() {
    if (fd_ < 0) return {};
    pollfd p{fd_, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, stream_timeout_ms_);
    } while (rc < 0 && errno == EINTR);
    if (rc <= 0) return {};
    char buffer[kReadSize];
    ssize_t n;
    do {
        n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n == 0) {
        peer_closed_ = true;
        return {};
    }
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
        const int err = errno;
        throw EMailSocketError(ErrnoText("recv", err), err);
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::string TMailSocket::LocalHostName() const {
    if (fd_ < 0) return {};
    char name[257] = {};
    if (::gethostname(name, 256) != 0) return {};
    return std::string(name, ::strnlen(name, 256));
}

void TMailSocket::Close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    if (OnDisconnectNotify) OnDisconnectNotify(this);
}

}  // namespace mail

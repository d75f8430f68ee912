#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform::sock {

namespace {
sockaddr_in Make(std::uint32_t address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return a;
}
}  // namespace

int CreateTcp() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return fd;
}

bool SetLinger(int fd, bool on_with_zero) {
    linger l{};
    l.l_onoff = on_with_zero ? 1 : 0;
    l.l_linger = 0;
    return ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0;
}

bool ParseIPv4(const std::string& text, std::uint32_t& address) {
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    std::uint32_t v = ntohl(a.s_addr);
    if (v == 0xFFFFFFFFu) return false;
    address = v;
    return true;
}

std::string FormatIPv4(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

int StartConnect(int fd, std::uint32_t address, std::uint16_t port) {
    sockaddr_in a = Make(address, port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return 0;
    if (errno == EINPROGRESS) return 0;
    return -1;
}

int PendingError(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
}

int BindAndListen(int fd, std::uint32_t address, std::uint16_t port, int backlog) {
    sockaddr_in a = Make(address, port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    return ::listen(fd, backlog);
}

int AcceptPeer(int fd, std::uint32_t& peer_address, std::uint16_t& peer_port) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    int s = ::accept4(fd, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s < 0) return -1;
    peer_address = ntohl(a.sin_addr.s_addr);
    peer_port = ntohs(a.sin_port);
    return s;
}

bool LocalAddress(int fd, std::uint32_t& address, std::uint16_t& port) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return false;
    address = ntohl(a.sin_addr.s_addr);
    port = ntohs(a.sin_port);
    return true;
}

short WaitFor(int fd, short events, int timeout_ms) {
    pollfd p{fd, events, 0};
    int r = ::poll(&p, 1, timeout_ms);
    return r > 0 ? p.revents : 0;
}

int ResolveIPv4(const std::string& name, std::uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &res);
    if (rc != 0) return rc;
    rc = EAI_NONAME;
    for (addrinfo* p = res; p; p = p->ai_next) {
        if (p->ai_family == AF_INET) {
            address = ntohl(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr);
            rc = 0;
            break;
        }
    }
    ::freeaddrinfo(res);
    return rc;
}

}  // namespace platform::sock

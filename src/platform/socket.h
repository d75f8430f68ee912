#pragma once
// Thin POSIX socket helpers for the IPv4 TCP sessions. Every call returns -1 / false on failure
// and leaves errno as the system set it; the caller maps it with SockErrorFromErrno.
// Addresses and ports are in host byte order.
#include <cstdint>
#include <string>

namespace platform::sock {

// Non-blocking, close-on-exec IPv4 TCP socket, or -1.
int CreateTcp();
// Linger on with 0 seconds (close resets the connection) or off (a normal close).
bool SetLinger(int fd, bool on_with_zero);
// Dotted IPv4 text -> address; false for anything else (also for 255.255.255.255).
bool ParseIPv4(const std::string& text, std::uint32_t& address);
std::string FormatIPv4(std::uint32_t address);
// Starts a connect; 0 when it completed or is in progress, else -1.
int StartConnect(int fd, std::uint32_t address, std::uint16_t port);
// Pending error of a socket (SO_ERROR), 0 when none.
int PendingError(int fd);
int BindAndListen(int fd, std::uint32_t address, std::uint16_t port, int backlog);
// Accepts a waiting connection as a non-blocking socket and reports its peer; -1 on failure.
int AcceptPeer(int fd, std::uint32_t& peer_address, std::uint16_t& peer_port);
bool LocalAddress(int fd, std::uint32_t& address, std::uint16_t& port);
// Waits up to timeout_ms for the events (POLLIN, POLLOUT) on one socket; returns the revents
// seen (0 on time-out).
short WaitFor(int fd, short events, int timeout_ms);
// Resolves a host name to its first IPv4 address (blocking). Returns 0 or a getaddrinfo code.
int ResolveIPv4(const std::string& name, std::uint32_t& address);

}  // namespace platform::sock

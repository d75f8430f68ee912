#pragma once
// The one TCP connection type of FTP control and data, SMTP and POP3: name lookup on a worker,
// non-blocking connect, sends and buffered reads with a line-length cap, optional TLS (OpenSSL)
// switched on at connect or on command, orderly and abortive close. Every wait polls the socket
// briefly and runs a pass of the event pump, so the screens stay alive; it ends at its deadline
// or when the caller's stop check says so. Failures throw NetError.
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net_error.h"

namespace platform {

// How long a wait may take and what else ends it.
struct Wait {
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::time_point::max();
    std::function<bool()> stop;  // true: end the wait with NetErrc::Canceled

    // A time-out of 0 or less means no deadline.
    static Wait For(std::chrono::milliseconds timeout, std::function<bool()> stop = {});
    bool Passed() const { return Clock::now() >= deadline; }
    bool Stopped() const { return stop && stop(); }
};

// A socket address (IPv4 or IPv6).
struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;

    int Family() const { return address.ss_family; }
    int Port() const;
    void SetPort(int port);
    // "192.0.2.1" or "2001:db8::1" (no brackets, no port).
    std::string HostText() const;
    bool SameHost(const Endpoint& other) const;
};

// A host text as typed in a server field: "host", "host:port", "[v6]:port", "[v6]" or a bare
// IPv6 literal. `port` keeps its value when the text names none; false for a bad port.
bool SplitHostPort(const std::string& text, std::string& host, int& port);

// Name lookup on a worker thread (numeric addresses at once); every address of the name, in
// the resolver's order. A test may put in its own lookup.
using LookupFunction = std::function<int(const std::string& host, std::vector<Endpoint>& found)>;
// The system's blocking lookup (getaddrinfo, IPv4 and IPv6): 0 or a getaddrinfo code.
int LookupHost(const std::string& host, std::vector<Endpoint>& found);
std::vector<Endpoint> Resolve(const std::string& host, int port, const Wait& wait,
                              const LookupFunction& lookup = {});

// Certificate checks of a TLS connection.
struct TlsOptions {
    std::string host;         // the name (or address) the certificate must be issued for
    std::string fingerprint;  // SHA-256 the user trusted; accepted when verification fails
};

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Tries the addresses in turn until one answers.
    void Connect(const std::vector<Endpoint>& endpoints, const Wait& wait);
    // Resolves and connects.
    void Connect(const std::string& host, int port, const Wait& wait);
    // Takes over a connected socket (an accepted data connection).
    void Adopt(int fd);
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // TLS handshake as a client. `resume`: a connection whose TLS session this one continues
    // (FTP data connections). The certificate is verified against the system's trust store and
    // the host; a failure throws TlsVerifyError and leaves the connection closed.
    void StartTls(const TlsOptions& options, const Wait& wait, const Connection* resume = nullptr);
    bool TlsActive() const;
    // SHA-256 of the server certificate as "AB:CD:…", empty without TLS.
    std::string PeerFingerprint() const;

    // Sends every byte before the deadline.
    void Send(std::string_view bytes, const Wait& wait);
    // Sends `size` bytes of an open file from its current position; `progress` gets the count
    // of bytes sent so far after each piece. Fails when no byte could be sent for `idle`.
    // Plain connections use sendfile (the bytes never pass through user space).
    std::int64_t SendFile(int file, std::int64_t size, std::chrono::milliseconds idle,
                          const std::function<bool()>& stop,
                          const std::function<void(std::int64_t)>& progress);

    // One line with its LF (a CR before it is kept). At the end of the stream: the partial
    // line without LF, or false when nothing was left. A line longer than `cap` bytes throws
    // LineTooLong and the rest of the input is dropped.
    bool ReadLine(std::string& line, const Wait& wait, std::size_t cap = kDefaultLineCap);
    // Up to `size` bytes, waiting for at least one; 0 at the end of the stream.
    std::size_t Read(char* buffer, std::size_t size, const Wait& wait);
    // Bytes buffered or readable now, without waiting.
    bool InputPending();
    // Drops what is buffered and what can be read now.
    void DiscardInput();
    // True once the peer closed and every byte before that was read.
    bool AtEnd() const { return at_end_; }

    // Orderly close: TLS close-notify, then the socket. Never waits long.
    void Close();
    // Abortive close: the peer sees a reset.
    void Abort();
    // Whether a later Close resets the connection (linger 0) instead of closing it in order.
    void SetLinger(bool resetOnClose);

    Endpoint Local() const;
    Endpoint Peer() const;

    static constexpr std::size_t kDefaultLineCap = 65536;

private:
    struct Tls;
    // Reads more into the buffer; false at the end of the stream.
    bool Fill(const Wait& wait);
    // Waits for readiness (POLLIN / POLLOUT); throws `timeout` at the deadline.
    void WaitFor(short events, const Wait& wait, NetErrc timeout);
    void Reset();
    // Drops the bytes already taken from the front of the buffer.
    void Compact();

    int fd_ = -1;
    std::string in_;
    std::size_t in_pos_ = 0;
    bool at_end_ = false;
    std::unique_ptr<Tls> tls_;
};

// A listening socket for an active-mode data connection.
class Listener {
public:
    Listener() = default;
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Listens on the address and port of `local` (port 0: a free one).
    void Listen(const Endpoint& local);
    Endpoint Local() const;
    // Waits for one connection and returns its socket. When `peer` is given, a connection from
    // any other host is closed and fails the accept.
    int Accept(const Wait& wait, const Endpoint* peer = nullptr);
    void Close();
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

// Waits up to `wait` for readiness of any socket, a pass of the event pump at every step.
// Returns the revents seen; throws Canceled or `timeout`.
short WaitReady(int fd, short events, const Wait& wait, NetErrc timeout);

}  // namespace platform

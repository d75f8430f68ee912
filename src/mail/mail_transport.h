#pragma once
// The blocking client socket the SMTP and POP3 components talk through. Everything runs on the
// caller's thread; while it waits for the server it runs the event pump, so the window stays
// responsive and the caller can ask the running operation to stop.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/connection.h"
#include "platform/error.h"

namespace mail {

// Events of the mail components; the sender is the component or, for the connect and quit
// notifications, its socket.
using TNotifyEvent = std::function<void(void* sender)>;
using TOnError = std::function<void(void* sender, int error, const std::string& msg)>;
using TOnCodeStartEvent =
    std::function<void(void* sender, const std::string& file_name, std::int64_t count)>;
using TOnCodeProgressEvent = std::function<void(void* sender, std::uint16_t percent)>;
using TOnSendProgressEvent = TOnCodeProgressEvent;

// An argument for a protocol command or a header value that would break its line (CR, LF or
// NUL in it), or an envelope address that would carry more than an address.
class EMailArgumentError : public platform::Error {
public:
    using platform::Error::Error;
};

// True when the text holds a CR, LF or NUL: it cannot stand in one protocol or header line.
bool HasLineBreakOrNul(std::string_view text);

// Throws EMailArgumentError naming `what` when the text holds a CR, LF or NUL.
void RequireSingleLine(const std::string& text, const char* what);

// The text without leading and trailing blanks and control characters.
std::string TrimBlanks(const std::string& text);

// i * 100 / n rounded to the nearest integer, halves to even (n > 0).
std::uint16_t RoundedPercent(std::uint64_t i, std::uint64_t n);

// A failed open, read or write; carries the platform's error number (0 when there is none).
class EMailSocketError : public platform::Error {
public:
    EMailSocketError(const std::string& message, int error_code)
        : platform::Error(message), ErrorCode(error_code) {}
    int ErrorCode;
};

// How a mail connection is protected.
enum class TMailSecurity {
    None,      // plain, as always
    StartTls,  // plain greeting, then STARTTLS (SMTP) or STLS (POP3)
    Implicit,  // TLS from the first byte
};

// Four dot-separated integers 0..255, nothing else.
bool IsDottedAddress(const std::string& text);

// The component's Port text as a number; `fallback` when it is not a number from 1 to 65535.
int PortNumber(const std::string& text, int fallback);

class TMailSocket {
public:
    // `stream_timeout_ms`: how long one read waits for bytes once data was reported.
    explicit TMailSocket(int stream_timeout_ms);
    ~TMailSocket();
    TMailSocket(const TMailSocket&) = delete;
    TMailSocket& operator=(const TMailSocket&) = delete;

    // Socket-layer notifications; the argument is this socket.
    std::function<void(TMailSocket*)> OnConnectNotify;
    std::function<void(TMailSocket*)> OnDisconnectNotify;

    // Resolves (unless the host is a dotted address), connects and delivers the connect
    // notification before returning. Throws EMailSocketError on any failure.
    void Open(const std::string& host, int port);
    bool IsOpen() const { return conn_.IsOpen(); }

    // TLS handshake over the open connection, the certificate checked for `options.host`.
    // Bytes that arrived in clear before it are dropped, so they cannot pass for replies sent
    // inside TLS. Throws platform::NetError (TlsVerifyError for a certificate that did not
    // verify); the connection is closed then and the disconnect notification follows.
    void StartTls(const platform::TlsOptions& options);
    bool TlsActive() const { return conn_.TlsActive(); }

    // Writes the whole text; callers include the line ends. Throws on failure.
    void SendText(const std::string& text);

    // Waits until the socket is readable, running the event pump while it waits; the end of the
    // stream counts as readable. Returns false at once when the
    // socket is not open, and when `idle_limit_ms` (> 0) passes in silence (then Silent() turns
    // true): a server that stops answering must not hold the program for ever.
    bool AwaitData(int idle_limit_ms = 0);
    bool Silent() const { return silent_; }

    // One read of at most 1024 bytes; empty when nothing arrived within the stream time-out or
    // the server closed the connection (then PeerClosed() turns true). Throws on failure.
    std::string Read();
    bool PeerClosed() const { return peer_closed_; }

    // The machine's host name (at most 256 bytes); empty when unknown or when not open.
    std::string LocalHostName() const;

    // Closes the socket; the disconnect notification follows when it was open.
    void Close();

    static constexpr std::size_t kReadSize = 1024;
    // How long a connection request may go unanswered.
    static constexpr int kConnectLimitMs = 20000;

private:
    platform::Connection conn_;
    int stream_timeout_ms_;
    bool peer_closed_ = false;
    bool silent_ = false;
};

// How long the mail components wait in silence for a reply before they give up. Generous, since
// a server may scan a message before it answers the end of data.
constexpr int kDefaultIdleLimitMs = 120000;

// Lets queued user-interface events run (one pass of the event pump).
void RunPendingEvents();

}  // namespace mail

#pragma once
// TSockSession: a TCP client session with a blocking style of programming on the one
// user-interface thread. Every wait runs the process-wide event pump, so timers, socket
// notifications and the screens keep running; Abort/Cancel from a handler ends a wait.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/thread_timer.h"
#include "platform/connection.h"
#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/reply_reader.h"

namespace ftp {

// Socket-level failure; the message is the failure text.
class ESockError : public platform::Error {
public:
    using platform::Error::Error;
    ~ESockError() override;
};

// A read or send ended by cancellation.
class EAbortError : public platform::Error {
public:
    using platform::Error::Error;
    ~EAbortError() override;
};

class TSockSession;

using TNotifyEvent = std::function<void(TSockSession* sender)>;
using THandlerEvent = std::function<void(TSockSession* sender, bool& handled)>;
using TOnHostResolved = std::function<void(TSockSession* sender)>;
using TOnStatus = std::function<void(TSockSession* sender, const std::string& status)>;
using TOnErrorEvent =
    std::function<void(TSockSession* sender, std::uint16_t errnum, const std::string& errmsg)>;
// Blocking name lookup run on a worker thread: 0 and the address, or a getaddrinfo code.
using TResolver = std::function<int(const std::string& name, std::uint32_t& address)>;

class TSockSession {
public:
    static constexpr std::size_t kBufferSize = 65536;

    TSockSession();
    virtual ~TSockSession();
    TSockSession(const TSockSession&) = delete;
    TSockSession& operator=(const TSockSession&) = delete;

    // Published properties.
    std::string Host;
    int Port = 0;
    int TimeOut = 0;  // milliseconds; 0 = no time-out
    int ReportLevel = 0;
    std::string Proxy;
    int ProxyPort = 0;

    // Events; each is called only when set.
    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;
    TOnErrorEvent OnError;
    THandlerEvent OnConnectionRequired;
    TNotifyEvent OnPacketSent;
    TNotifyEvent OnPacketRecvd;  // declared only; nothing fires it

    // Name lookup used by ResolveHost; getaddrinfo unless a test puts in its own.
    TResolver Resolver;
    // When set, Accept refuses a connection from any other host (any address family).
    std::optional<platform::Endpoint> RequiredPeer;
    // Address Listen binds (with Port); unset: every IPv4 address.
    std::optional<platform::Endpoint> ListenAddress;

    // State.
    const std::string& Status() const { return status_; }
    int LastErrorNo() const { return last_error_no_; }
    const std::string& TransactionReply() const { return transaction_reply_; }
    std::int16_t ReplyNumber() const { return reply_number_; }
    bool Connected() const { return connected_; }
    std::int64_t BytesSent() const { return bytes_sent_; }
    std::int64_t BytesTotal = 0;
    std::uint32_t RemoteAddress() const { return remote_address_; }
    std::uint16_t RemotePort() const { return remote_port_; }
    bool TimedOut() const { return timed_out_; }
    bool CancelRequested() const { return cancel_; }
    static const std::vector<std::string>& SocketLibraryInfo();
    static int LiveSessions();

    // Virtual operations, in slot order.
    virtual int Accept();
    virtual void Connect();
    virtual void Disconnect();
    virtual std::string Transaction(const std::string& command);
    virtual void Abort();

    void Cancel();
    void CheckConnection();
    void ResolveHost();
    // Sends length bytes (0 = up to the first NUL, at most 65,535).
    void SendBuffer(const char* bytes, std::size_t length);
    void Write(const std::string& text);
    void Writeln(const std::string& text);
    std::string Read(std::uint16_t count);
    std::string ReadLn();
    void SendFile(const std::string& path);
    // The same from a file already open (read from its current position, `size` bytes).
    void SendFile(int file, std::int64_t size);
    void Listen(bool completion_channel);
    bool DataAvailable();
    void ClearInput();
    void CloseSocket();
    std::string LookupErrorMessage(int number);
    std::string LocalAddressForPort();
    std::string LocalPortForPort();
    // The port Listen got (0 when not listening).
    int ListenPort() const { return listener_.Local().Port(); }
    void TimerOn();
    void TimerOff();

    // Puts an accepted socket (from Accept) in place of the listening one, which is closed.
    void AdoptSocket(int fd);
    // Linger with 0 seconds on (close resets) or off (normal close).
    void SetLinger(bool on);
    int SocketHandle() const { return conn_.Fd(); }

    // Switches the connected session to TLS (see platform::Connection::StartTls); `resume`
    // names a session whose TLS session this one continues. Waits up to TimeOut.
    void StartTls(const platform::TlsOptions& options, const TSockSession* resume = nullptr);
    bool TlsActive() const { return conn_.TlsActive(); }
    // The connection underneath (addresses, certificate).
    const platform::Connection& Link() const { return conn_; }

protected:
    // Publishes a status text of the given level (1 protocol, 4 buffer/close/accept, 8 trace).
    void SetStatus(const std::string& text, int level);
    // After a failed socket call: reads errno; raises unless it is `expected` or <= 10000.
    void ErrorCheck(int expected);
    // Socket-level connect notification; the FTP session replaces it with its log-in event.
    virtual void NotifyConnected();
    void ClearCancel() { cancel_ = false; }
    // Runs the time-out timer once more without clearing the timed-out flag.
    void RestartTimer();
    void SetReplyNumber(std::int16_t number) { reply_number_ = number; }
    // One whole FTP-style reply through the shared reader: TransactionReply becomes its first
    // line (with its line end, empty when the server closed first), ReplyNumber its code (0
    // when it has none), and every line is published at level 1. The time-out runs once for
    // the whole reply, so a server that drips lines cannot hold the session.
    platform::Reply ReadWholeReply();
    bool destroying_ = false;

private:
    enum class State { Idle, Listening, Connected };

    void OnSocketEvent(short revents);
    void OnTimeOut();
    void PumpStep(bool sleep_2ms);
    // Watches the connected socket (or the listener) for notifications; 0 interest stops them.
    void Watch(int fd, short interest);
    // A wait without deadline that a cancel ends (and the time-out too, when asked).
    platform::Wait StopWait(bool timeOutStops) const;
    // Maps a failure of the connection to this session's errors: a cancel becomes
    // EAbortError(abortText), a system error goes through ErrorCheck.
    [[noreturn]] void Raise(const platform::NetError& e, const char* abortText);
    // After a failed or refused connect: the session is idle again and reports it.
    [[noreturn]] void FailConnect(const platform::NetError& e);

    std::string status_;
    int last_error_no_ = 0;
    std::string transaction_reply_;
    std::int16_t reply_number_ = 0;
    bool connected_ = false;
    std::int64_t bytes_sent_ = 0;
    std::uint32_t remote_address_ = 0;
    std::uint16_t remote_port_ = 0;
    std::vector<platform::Endpoint> endpoints_;

    bool cancel_ = false;
    bool timed_out_ = false;
    bool event_ = false;
    bool completion_channel_ = false;
    // Blocking operations in progress: notifications wait until they are over.
    int busy_ = 0;

    platform::Connection conn_;
    platform::Listener listener_;
    State state_ = State::Idle;
    platform::EventPump::Id watch_ = 0;
    TThreadTimer timer_;

    // Name lookups in flight are matched by number, so a result that arrives after its wait
    // gave up is dropped; the token tells a late result that the session is gone.
    std::uint64_t lookup_seq_ = 0;
    int lookup_error_ = 0;
    std::uint32_t lookup_address_ = 0;
    std::shared_ptr<TSockSession*> alive_;
};

}  // namespace ftp

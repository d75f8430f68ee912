#include "ftp/sock_session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/reply_text.h"
#include "platform/sock_error.h"

namespace ftp {

ESockError::~ESockError() = default;
EAbortError::~EAbortError() = default;

namespace {

int g_live_sessions = 0;
std::vector<std::string> g_library_info;

using platform::NetErrc;
using platform::NetError;

// Names an IPv4 or IPv6 literal: no lookup needed.
bool NumericEndpoint(const std::string& name, platform::Endpoint& e) {
    sockaddr_in a4{};
    sockaddr_in6 a6{};
    if (::inet_pton(AF_INET, name.c_str(), &a4.sin_addr) == 1) {
        // 255.255.255.255 is no host: it goes to the lookup like a name.
        if (a4.sin_addr.s_addr == INADDR_BROADCAST) return false;
        a4.sin_family = AF_INET;
        std::memcpy(&e.address, &a4, sizeof a4);
        e.length = sizeof a4;
        return true;
    }
    if (::inet_pton(AF_INET6, name.c_str(), &a6.sin6_addr) == 1) {
        a6.sin6_family = AF_INET6;
        std::memcpy(&e.address, &a6, sizeof a6);
        e.length = sizeof a6;
        return true;
    }
    return false;
}

platform::Endpoint FromIPv4(std::uint32_t address) {
    platform::Endpoint e;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    std::memcpy(&e.address, &a, sizeof a);
    e.length = sizeof a;
    return e;
}

std::uint32_t IPv4Of(const platform::Endpoint& e) {
    if (e.Family() != AF_INET) return 0;
    return ntohl(reinterpret_cast<const sockaddr_in&>(e.address).sin_addr.s_addr);
}

// The dotted IPv4 address, "0.0.0.0" for any other.
std::string IPv4Text(const platform::Endpoint& e) {
    return e.Family() == AF_INET ? e.HostText() : "0.0.0.0";
}

}  // namespace

const std::vector<std::string>& TSockSession::SocketLibraryInfo() { return g_library_info; }
int TSockSession::LiveSessions() { return g_live_sessions; }

TSockSession::TSockSession() : alive_(std::make_shared<TSockSession*>(this)) {
    SetStatus("Create", 8);
    SetStatus("Initializing Winsock", 8);
    if (g_live_sessions++ == 0 && g_library_info.empty()) {
        rlimit lim{};
        ::getrlimit(RLIMIT_NOFILE, &lim);
        g_library_info = {"Version= 1.1",
                          "High Version= 1.1",
                          "Description= POSIX sockets",
                          "System= Running",
                          "Max Sockets= " + std::to_string(lim.rlim_cur),
                          "Max Udp pack size= 65507"};
    }
    timer_.SetEnabled(false);
    timer_.SetOnTimer([this](TThreadTimer*) { OnTimeOut(); });
}

TSockSession::~TSockSession() {
    // Nothing is published while destroying: handlers may capture objects already gone.
    destroying_ = true;
    SetStatus("Destroy", 8);
    TSockSession::Abort();
    Cancel();
    timer_.SetEnabled(false);
    Watch(-1, 0);
    conn_.Abort();
    listener_.Close();
    *alive_ = nullptr;
    --g_live_sessions;
}

void TSockSession::SetStatus(const std::string& text, int level) {
    status_ = text;
    if (destroying_ || ReportLevel < level || !OnStatus) return;
    try {
        OnStatus(this, text);
    } catch (...) {
    }
}

void TSockSession::ErrorCheck(int expected) {
    int number = platform::SockErrorFromErrno(errno);
    last_error_no_ = number;
    if (number == expected || number <= 10000) return;
    std::string message = LookupErrorMessage(number);
    if (OnError) OnError(this, static_cast<std::uint16_t>(number), message);
    throw ESockError(message);
}

std::string TSockSession::LookupErrorMessage(int number) {
    SetStatus("Looking Up Error Message", 8);
    return platform::SockErrorMessage(number);
}

void TSockSession::PumpStep(bool sleep_2ms) {
    if (sleep_2ms) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    platform::EventPump::Instance().RunOnePass();
}

platform::Wait TSockSession::StopWait(bool timeOutStops) const {
    platform::Wait w;
    // A time-out reaches reads and sends through Abort, which an upload may turn into a
    // cancel of its data connection only.
    if (timeOutStops)
        w.stop = [this] { return cancel_ || timed_out_; };
    else
        w.stop = [this] { return cancel_; };
    return w;
}

void TSockSession::Raise(const NetError& e, const char* abortText) {
    switch (e.Code()) {
        case NetErrc::Canceled:
            cancel_ = false;
            throw EAbortError(abortText);
        case NetErrc::SendTimedOut:
            throw ESockError("Send Timed Out");
        case NetErrc::LineTooLong:
            throw ESockError("Line too long");
        default:
            break;
    }
    if (e.SystemError() != 0) {
        errno = e.SystemError();
        ErrorCheck(platform::kSockWouldBlock);
    }
    throw ESockError(e.what());
}

void TSockSession::Watch(int fd, short interest) {
    auto& pump = platform::EventPump::Instance();
    if (watch_) pump.UnwatchSocket(watch_);
    watch_ = 0;
    if (fd >= 0)
        watch_ = pump.WatchSocket(fd, interest, [this](short revents) { OnSocketEvent(revents); });
}

// ---- notifications ----

void TSockSession::OnSocketEvent(short revents) {
    try {
        switch (state_) {
            case State::Idle:
                break;
            case State::Listening:
                if (!(revents & POLLIN)) break;
                if (completion_channel_) event_ = true;
                connected_ = true;
                break;
            case State::Connected:
                // A blocking operation reads for itself; it sees the end of the stream.
                if (busy_ > 0 || !(revents & (POLLIN | POLLHUP | POLLERR))) break;
                // The peer closed: with nothing left to read the session closes.
                if (!conn_.InputPending() && conn_.AtEnd()) CloseSocket();
                break;
        }
    } catch (...) {
    }
}

void TSockSession::NotifyConnected() {
    if (OnConnect) OnConnect(this);
}

// ---- time-out ----

void TSockSession::TimerOn() {
    SetStatus("Timer On", 8);
    timed_out_ = false;
    timer_.SetInterval(TimeOut > 0 ? static_cast<unsigned>(TimeOut) : 0);
    timer_.SetEnabled(true);
}

void TSockSession::RestartTimer() {
    SetStatus("Timer On", 8);
    timer_.SetEnabled(true);
}

void TSockSession::TimerOff() {
    SetStatus("Timer Off", 8);
    timer_.SetEnabled(false);
}

void TSockSession::OnTimeOut() {
    SetStatus("Timer Triggered", 8);
    TimerOff();
    timed_out_ = true;
    event_ = true;
    Abort();
}

// ---- operations ----

void TSockSession::Abort() {
    SetStatus("Abort", 8);
    Cancel();
}

void TSockSession::Cancel() {
    SetStatus("Canceling", 8);
    cancel_ = true;
}

void TSockSession::CheckConnection() {
    SetStatus("Checking Connection", 8);
    bool offered = false;
    while (!connected_) {
        if (offered || !OnConnectionRequired) throw platform::Error("Not Connected");
        offered = true;
        bool handled = false;
        OnConnectionRequired(this, handled);
        if (!handled) throw platform::Error("Not Connected");
    }
}

void TSockSession::ResolveHost() {
    SetStatus("Resolve Host", 8);
    const std::string name = Proxy.empty() ? Host : Proxy;
    endpoints_.clear();
    remote_address_ = 0;
    platform::Endpoint numeric;
    if (NumericEndpoint(name, numeric)) {
        endpoints_.push_back(numeric);
        remote_address_ = IPv4Of(numeric);
        return;
    }
    TimerOn();
    event_ = false;
    // The lookup blocks in its own thread; its result comes back through the pump. A wait
    // that ends on time-out or cancel abandons the thread, whose late result is dropped.
    const std::uint64_t seq = ++lookup_seq_;
    std::weak_ptr<TSockSession*> alive = alive_;
    TResolver resolver = Resolver;
    auto found = std::make_shared<std::vector<platform::Endpoint>>();
    std::thread([resolver, name, seq, alive, found] {
        std::vector<platform::Endpoint> list;
        int rc;
        if (resolver) {
            std::uint32_t address = 0;
            rc = resolver(name, address);
            if (rc == 0) list.push_back(FromIPv4(address));
        } else {
            rc = platform::LookupHost(name, list);
        }
        platform::EventPump::Instance().Post([rc, list, seq, alive, found] {
            auto self = alive.lock();
            if (!self || !*self) return;
            TSockSession* s = *self;
            if (s->lookup_seq_ != seq) return;
            s->lookup_error_ = rc;
            *found = list;
            s->event_ = true;
        });
    }).detach();
    lookup_error_ = -1;
    while (!(event_ && lookup_error_ != -1) && !timed_out_ && !cancel_) PumpStep(true);
    TimerOff();
    const bool answered = lookup_error_ != -1;
    ++lookup_seq_;  // drop any result still on its way
    if (timed_out_) throw ESockError("Host Lookup Timed Out");
    if (cancel_) throw ESockError("Host Lookup Canceled");
    if (answered && lookup_error_ == 0 && !found->empty()) {
        endpoints_ = *found;
        remote_address_ = IPv4Of(endpoints_.front());
        if (OnHostResolved) OnHostResolved(this);
        return;
    }
    last_error_no_ = platform::SockErrorFromResolver(lookup_error_);
    throw ESockError("Host Lookup Failed");
}

void TSockSession::FailConnect(const NetError& e) {
    if (e.SystemError() != 0) last_error_no_ = platform::SockErrorFromErrno(e.SystemError());
    connected_ = false;
    state_ = State::Idle;
    conn_.Abort();
    if (OnConnectionFailed) OnConnectionFailed(this);
    if (timed_out_) throw ESockError("Connection Timed out");
    if (cancel_) throw ESockError("Connection Canceled");
    throw ESockError("Connection Failed");
}

void TSockSession::Connect() {
    SetStatus("Connecting", 8);
    cancel_ = false;
    if (connected_) throw ESockError("Already connected");
    int retries = 0;
    for (;;) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            const std::string what = e.what();
            if (what == "Host Lookup Timed Out" || what == "Host Lookup Canceled") throw;
            endpoints_.clear();
        }
        if (!endpoints_.empty()) break;
        if (retries == 0 && OnInvalidHost) {
            bool handled = false;
            OnInvalidHost(this, handled);
            if (handled) {
                ++retries;
                continue;
            }
        }
        throw ESockError("Null Remote Address");
    }
    remote_port_ = static_cast<std::uint16_t>(Proxy.empty() ? Port : ProxyPort);
    for (platform::Endpoint& e : endpoints_) e.SetPort(remote_port_);
    TimerOn();
    ++busy_;
    try {
        conn_.Connect(endpoints_, StopWait(true));
    } catch (const NetError& e) {
        --busy_;
        TimerOff();
        FailConnect(e);
    }
    --busy_;
    TimerOff();
    listener_.Close();
    state_ = State::Connected;
    connected_ = true;
    Watch(conn_.Fd(), POLLIN);
    NotifyConnected();
}

void TSockSession::StartTls(const platform::TlsOptions& options, const TSockSession* resume) {
    SetStatus("Starting TLS", 8);
    TimerOn();
    ++busy_;
    try {
        conn_.StartTls(options, StopWait(true), resume ? &resume->conn_ : nullptr);
    } catch (const NetError&) {
        --busy_;
        TimerOff();
        // A session whose TLS failed is closed: nothing may follow in clear.
        if (!conn_.IsOpen()) CloseSocket();
        if (timed_out_ || cancel_) {
            cancel_ = false;
            throw platform::NetError(NetErrc::TlsHandshakeFailed, "timed out");
        }
        throw;
    }
    --busy_;
    TimerOff();
}

void TSockSession::Disconnect() {
    SetStatus("Disconnecting", 8);
    CloseSocket();
}

void TSockSession::SendBuffer(const char* bytes, std::size_t length) {
    SetStatus("Sending Buffer", 4);
    TimerOn();
    if (!cancel_) {
        if (length == 0) length = ::strnlen(bytes, 65535);
        ++busy_;
        try {
            conn_.Send(std::string_view(bytes, length), StopWait(false));
        } catch (const NetError& e) {
            --busy_;
            TimerOff();
            Raise(e, "Socket send aborted");
        }
        --busy_;
    }
    TimerOff();
    if (cancel_) {
        cancel_ = false;
        throw EAbortError("Socket send aborted");
    }
}

void TSockSession::Write(const std::string& text) {
    SetStatus("Write", 8);
    // Like the C string it always was: up to the first NUL, at most one buffer.
    const std::string_view view(text.data(), std::min(text.size(), kBufferSize));
    SendBuffer(view.data(), std::min(view.size(), ::strnlen(view.data(), view.size())));
}

void TSockSession::Writeln(const std::string& text) {
    SetStatus("Writeln", 8);
    Write(text + "\r\n");
}

std::string TSockSession::ReadLn() {
    SetStatus("ReadLn", 8);
    TimerOn();
    struct Guard {
        TSockSession* s;
        ~Guard() {
            --s->busy_;
            s->TimerOff();
        }
    } guard{this};
    ++busy_;
    if (!conn_.IsOpen()) return {};
    std::string line;
    try {
        if (!conn_.ReadLine(line, StopWait(false), kBufferSize)) return {};
    } catch (const NetError& e) {
        Raise(e, "Socket readln aborted");
    }
    // A line cut short by the end of the stream is no line.
    if (line.empty() || line.back() != '\n') return {};
    return line;
}

std::string TSockSession::Read(std::uint16_t count) {
    SetStatus("Read( " + std::to_string(count) + " )", 8);
    if (!conn_.IsOpen()) return {};
    std::string out;
    char chunk[4096];
    ++busy_;
    struct Guard {
        int& busy;
        ~Guard() { --busy; }
    } guard{busy_};
    if (count == 0) {
        // What is there now, without waiting.
        while (out.size() < kBufferSize && conn_.InputPending()) {
            const std::size_t n = conn_.Read(
                chunk, std::min(sizeof chunk, kBufferSize - out.size()), platform::Wait{});
            if (n == 0) break;
            out.append(chunk, n);
        }
        return out;
    }
    try {
        while (out.size() < count) {
            const std::size_t n = conn_.Read(
                chunk, std::min<std::size_t>(sizeof chunk, count - out.size()), StopWait(false));
            if (n == 0) return {};
            out.append(chunk, n);
        }
    } catch (const NetError& e) {
        Raise(e, "Socket send aborted");
    }
    return out;
}

std::string TSockSession::Transaction(const std::string& command) {
    SetStatus("Transaction", 8);
    reply_number_ = 0;
    Writeln(command);
    transaction_reply_ = ReadLn();
    if (!transaction_reply_.empty()) {
        SetStatus(transaction_reply_, 1);
        std::int64_t value = 0;
        std::size_t digits = 0;
        while (digits < transaction_reply_.size() && digits < 10 &&
               transaction_reply_[digits] >= '0' && transaction_reply_[digits] <= '9') {
            value = value * 10 + (transaction_reply_[digits] - '0');
            ++digits;
        }
        if (digits > 0) {
            if (value > INT16_MAX)
                throw ESockError(platform::UnreadableReplyText(transaction_reply_));
            reply_number_ = static_cast<std::int16_t>(value);
        }
    }
    return transaction_reply_;
}

void TSockSession::SendFile(const std::string& path) {
    SetStatus("SendFile", 8);
    int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) throw platform::Error("Cannot open file " + path);
    struct FileGuard {
        int fd;
        ~FileGuard() { ::close(fd); }
    } guard{file};
    struct stat st {};
    ::fstat(file, &st);
    SendFile(file, st.st_size);
}

void TSockSession::SendFile(int file, std::int64_t size) {
    auto last_pump = std::chrono::steady_clock::now();
    const std::int64_t base = bytes_sent_;
    ++busy_;
    try {
        // A peer that stops taking data for a whole time-out ends the transfer: nobody could
        // stop it otherwise.
        conn_.SendFile(
            file, size, std::chrono::milliseconds(TimeOut), [this] { return cancel_; },
            [&](std::int64_t sent) {
                bytes_sent_ = base + sent;
                if (OnPacketSent) OnPacketSent(this);
                // The screen needs a pass every few milliseconds, not one per piece.
                const auto now = std::chrono::steady_clock::now();
                if (now - last_pump >= std::chrono::milliseconds(2)) {
                    platform::EventPump::Instance().RunOnePass();
                    last_pump = now;
                }
            });
    } catch (const NetError& e) {
        --busy_;
        Raise(e, "Socket send aborted");
    }
    --busy_;
    if (cancel_) {
        cancel_ = false;
        throw EAbortError("Socket send aborted");
    }
}

platform::Reply TSockSession::ReadWholeReply() {
    transaction_reply_.clear();
    reply_number_ = 0;
    TimerOn();
    struct Guard {
        TSockSession* s;
        ~Guard() {
            --s->busy_;
            s->TimerOff();
        }
    } guard{this};
    ++busy_;
    platform::Reply reply;
    if (!conn_.IsOpen()) return reply;
    bool first = true;
    auto onLine = [&](const std::string& raw) {
        if (first) transaction_reply_ = raw;
        first = false;
        SetStatus(raw, 1);
    };
    try {
        reply = platform::ReadReply(conn_, platform::ReplyStyle::Coded, StopWait(false), onLine,
                                    kBufferSize);
    } catch (const NetError& e) {
        // Closed before the reply ended: what came stands (nothing, or its first line).
        if (e.Code() != NetErrc::Closed) Raise(e, "Socket readln aborted");
        if (!first) {
            platform::ReplyParser parser(platform::ReplyStyle::Coded);
            parser.Feed(transaction_reply_);
            reply = parser.Result();
        }
    }
    // A line cut short by the end of the stream is no reply.
    if (!transaction_reply_.empty() && transaction_reply_.back() != '\n') {
        transaction_reply_.clear();
        return platform::Reply{};
    }
    reply_number_ = static_cast<std::int16_t>(reply.code);
    return reply;
}

void TSockSession::Listen(bool completion_channel) {
    SetStatus("Listening", 8);
    event_ = false;
    completion_channel_ = completion_channel;
    platform::Endpoint local = ListenAddress ? *ListenAddress : FromIPv4(0);
    local.SetPort(Port);
    listener_.Listen(local);
    state_ = State::Listening;
    Watch(listener_.Fd(), POLLIN);
}

int TSockSession::Accept() {
    SetStatus("Accepting", 4);
    // A server that never connects back (a firewall in between) must not hold us for ever.
    const auto start = std::chrono::steady_clock::now();
    while (!event_ && !cancel_) {
        PumpStep(true);
        if (!event_ && !cancel_ && TimeOut > 0 &&
            std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(TimeOut))
            throw ESockError("Accept Timed Out");
    }
    if (cancel_) throw ESockError("Accepting Canceled");
    int s = -1;
    try {
        platform::Wait now;
        now.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        s = listener_.Accept(now, RequiredPeer ? &*RequiredPeer : nullptr);
    } catch (const NetError&) {
        throw ESockError("Error creating Data Connection");
    }
    if (cancel_) {
        ::close(s);
        cancel_ = false;
        throw EAbortError("Socket send aborted");
    }
    return s;
}

void TSockSession::AdoptSocket(int fd) {
    Watch(-1, 0);
    listener_.Close();
    conn_.Adopt(fd);
    const platform::Endpoint peer = conn_.Peer();
    remote_address_ = IPv4Of(peer);
    remote_port_ = static_cast<std::uint16_t>(peer.Port());
    state_ = State::Connected;
    connected_ = true;
    Watch(conn_.Fd(), POLLIN);
}

void TSockSession::SetLinger(bool on) { conn_.SetLinger(on); }

bool TSockSession::DataAvailable() {
    SetStatus("Data Available", 8);
    return conn_.InputPending();
}

void TSockSession::ClearInput() {
    SetStatus("Clearing Input", 8);
    conn_.DiscardInput();
}

void TSockSession::CloseSocket() {
    SetStatus("Request Close Socket", 4);
    connected_ = false;
    listener_.Close();
    if (!conn_.IsOpen()) {
        Watch(-1, 0);
        state_ = State::Idle;
        return;
    }
    Watch(-1, 0);
    state_ = State::Idle;
    conn_.Close();
    if (destroying_) return;
    if (OnDisconnect) OnDisconnect(this);
}

std::string TSockSession::LocalAddressForPort() {
    std::string text = IPv4Text(conn_.Local());
    for (char& c : text)
        if (c == '.') c = ',';
    return text;
}

std::string TSockSession::LocalPortForPort() {
    const int port = state_ == State::Listening ? listener_.Local().Port() : conn_.Local().Port();
    return "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF);
}

}  // namespace ftp

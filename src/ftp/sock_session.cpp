#include "ftp/sock_session.h"

#include <fcntl.h>
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
#include "platform/socket.h"

namespace ftp {

ESockError::~ESockError() = default;
EAbortError::~EAbortError() = default;

namespace {

int g_live_sessions = 0;
std::vector<std::string> g_library_info;

// Longest wait on our own socket inside one step, so the pump still runs often.
constexpr int kSocketWaitMs = 10;

}  // namespace

const std::vector<std::string>& TSockSession::SocketLibraryInfo() { return g_library_info; }
int TSockSession::LiveSessions() { return g_live_sessions; }

TSockSession::TSockSession()
    : buffer_(kBufferSize + 1), alive_(std::make_shared<TSockSession*>(this)) {
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
    fd_ = platform::sock::CreateTcp();
    if (fd_ < 0) {
        --g_live_sessions;
        throw ESockError("Initializaton of windows sockets failed");
    }
    platform::sock::SetLinger(fd_, true);
    watch_ = platform::EventPump::Instance().WatchSocket(
        fd_, 0, [this](short revents) { OnSocketEvent(revents); });
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
    try {
        CloseSocket();
    } catch (...) {
    }
    if (watch_) platform::EventPump::Instance().UnwatchSocket(watch_);
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

bool TSockSession::Expired(std::chrono::steady_clock::time_point since) const {
    return TimeOut > 0 &&
           std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(TimeOut);
}

void TSockSession::WaitSocket(short events) {
    platform::sock::WaitFor(fd_, events, kSocketWaitMs);
    platform::EventPump::Instance().RunOnePass();
}

void TSockSession::NewSocket(bool linger_zero) {
    fd_ = platform::sock::CreateTcp();
    if (fd_ >= 0 && linger_zero) platform::sock::SetLinger(fd_, true);
    state_ = State::Idle;
    auto& pump = platform::EventPump::Instance();
    if (watch_) pump.UnwatchSocket(watch_);
    watch_ = 0;
    if (fd_ >= 0)
        watch_ = pump.WatchSocket(fd_, 0, [this](short revents) { OnSocketEvent(revents); });
}

void TSockSession::DropSocket() {
    if (watch_) platform::EventPump::Instance().UnwatchSocket(watch_);
    watch_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    state_ = State::Idle;
}

// ---- notifications ----

void TSockSession::OnSocketEvent(short revents) {
    try {
        auto& pump = platform::EventPump::Instance();
        switch (state_) {
            case State::Idle:
                break;
            case State::Connecting: {
                if (!(revents & (POLLOUT | POLLERR | POLLHUP))) break;
                int err = platform::sock::PendingError(fd_);
                no_error_ = err == 0;
                if (err == 0) {
                    state_ = State::Connected;
                    connected_ = true;
                    pump.SetInterest(watch_, POLLIN);
                    NotifyConnected();
                } else {
                    last_error_no_ = platform::SockErrorFromErrno(err);
                    state_ = State::Idle;
                    pump.SetInterest(watch_, 0);
                }
                break;
            }
            case State::Listening:
                if (!(revents & POLLIN)) break;
                no_error_ = true;
                if (completion_channel_) event_ = true;
                connected_ = true;
                break;
            case State::Connected: {
                if (!(revents & (POLLIN | POLLHUP | POLLERR))) break;
                char c;
                ssize_t n = ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT);
                if (n > 0) break;  // read-ready: the readers take it
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                // The peer closed (or reset): with nothing left to read the session closes.
                no_error_ = n == 0;
                CloseSocket();
                break;
            }
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
    std::uint32_t address = 0;
    if (platform::sock::ParseIPv4(name, address)) {
        remote_address_ = address;
        return;
    }
    remote_address_ = 0;
    TimerOn();
    event_ = false;
    // The lookup blocks in its own thread; its result comes back through the pump. A wait
    // that ends on time-out or cancel abandons the thread, whose late result is dropped.
    const std::uint64_t seq = ++lookup_seq_;
    std::weak_ptr<TSockSession*> alive = alive_;
    TResolver resolver = Resolver ? Resolver : TResolver(platform::sock::ResolveIPv4);
    std::thread([resolver, name, seq, alive] {
        std::uint32_t found = 0;
        int rc = resolver(name, found);
        platform::EventPump::Instance().Post([rc, found, seq, alive] {
            auto self = alive.lock();
            if (!self || !*self) return;
            TSockSession* s = *self;
            if (s->lookup_seq_ != seq) return;
            s->lookup_error_ = rc;
            s->lookup_address_ = found;
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
    if (answered && lookup_error_ == 0) {
        remote_address_ = lookup_address_;
        if (OnHostResolved) OnHostResolved(this);
        return;
    }
    last_error_no_ = platform::SockErrorFromResolver(lookup_error_);
    throw ESockError("Host Lookup Failed");
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
            remote_address_ = 0;
        }
        if (remote_address_ != 0) break;
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
    if (fd_ < 0) NewSocket(true);
    event_ = false;
    no_error_ = true;
    state_ = State::Connecting;
    if (platform::sock::StartConnect(fd_, remote_address_, remote_port_) != 0) {
        state_ = State::Idle;
        ErrorCheck(platform::kSockWouldBlock);
        state_ = State::Connecting;
    }
    platform::EventPump::Instance().SetInterest(watch_, POLLOUT);
    TimerOn();
    while (!connected_ && !timed_out_ && !cancel_ && no_error_) PumpStep(true);
    TimerOff();
    if (!timed_out_ && !cancel_ && no_error_) return;
    // A connect that did not complete leaves the socket useless: start the next one afresh.
    const int keep_errno = last_error_no_;
    connected_ = false;
    DropSocket();
    NewSocket(true);
    last_error_no_ = keep_errno;
    if (OnConnectionFailed) OnConnectionFailed(this);
    if (timed_out_) throw ESockError("Connection Timed out");
    if (cancel_) throw ESockError("Connection Canceled");
    throw ESockError("Connection Failed");
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
        std::size_t off = 0;
        while (off < length && !cancel_) {
            ssize_t n = ::send(fd_, bytes + off, length - off, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                off += static_cast<std::size_t>(n);
            } else if (n == 0) {
                break;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // Wait for room instead of spinning; the pump lets a handler cancel.
                WaitSocket(POLLOUT);
            } else {
                try {
                    ErrorCheck(platform::kSockWouldBlock);
                } catch (...) {
                    TimerOff();
                    throw;
                }
                break;  // not a reportable number: give up on this buffer
            }
        }
    }
    TimerOff();
    if (cancel_) {
        cancel_ = false;
        throw EAbortError("Socket send aborted");
    }
}

void TSockSession::Write(const std::string& text) {
    SetStatus("Write", 8);
    std::size_t n = std::min(text.size(), kBufferSize);
    std::memcpy(buffer_.data(), text.data(), n);
    buffer_[n] = '\0';
    SendBuffer(buffer_.data(), 0);
}

void TSockSession::Writeln(const std::string& text) {
    SetStatus("Writeln", 8);
    Write(text + "\r\n");
}

std::string TSockSession::ReadLn() {
    SetStatus("ReadLn", 8);
    TimerOn();
    std::string result;
    std::size_t taken = 0;
    struct TimerGuard {
        TSockSession* s;
        ~TimerGuard() { s->TimerOff(); }
    } guard{this};
    do {
        if (taken >= kBufferSize) throw ESockError("Line too long");
        ssize_t n =
            ::recv(fd_, buffer_.data() + taken, kBufferSize - taken, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0) return {};
        if (n < 0) {
            if (errno == ENOTCONN || errno == EBADF) return {};
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                WaitSocket(POLLIN);
                continue;
            }
            ErrorCheck(platform::kSockWouldBlock);
            return {};
        }
        // Bytes before `taken` were consumed already; the peek restarts at the socket's head.
        const char* start = buffer_.data() + taken;
        const void* lf = std::memchr(start, '\n', static_cast<std::size_t>(n));
        std::size_t want = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1
                              : static_cast<std::size_t>(n);
        ssize_t got = ::recv(fd_, buffer_.data() + taken, want, MSG_DONTWAIT);
        if (got > 0) {
            result.append(buffer_.data() + taken, static_cast<std::size_t>(got));
            taken += static_cast<std::size_t>(got);
        }
        if (lf && got == static_cast<ssize_t>(want)) return result;
        platform::EventPump::Instance().RunOnePass();
    } while (!cancel_);
    cancel_ = false;
    throw EAbortError("Socket readln aborted");
}

std::string TSockSession::Read(std::uint16_t count) {
    SetStatus("Read( " + std::to_string(count) + " )", 8);
    std::size_t want = count;
    if (count == 0) {
        ssize_t n = ::recv(fd_, buffer_.data(), kBufferSize, MSG_PEEK | MSG_DONTWAIT);
        if (n < 0) {
            ErrorCheck(platform::kSockWouldBlock);
            return {};
        }
        want = static_cast<std::size_t>(n);
    } else {
        for (;;) {
            ssize_t n = ::recv(fd_, buffer_.data(), want, MSG_PEEK | MSG_DONTWAIT);
            if (n == 0) return {};
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return {};
            if (n >= static_cast<ssize_t>(want)) break;
            if (cancel_) {
                cancel_ = false;
                throw EAbortError("Socket send aborted");
            }
            WaitSocket(POLLIN);
        }
    }
    if (want == 0) return {};
    ssize_t got = ::recv(fd_, buffer_.data(), want, MSG_DONTWAIT);
    if (got <= 0) return {};
    return std::string(buffer_.data(), static_cast<std::size_t>(got));
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
    const std::int64_t size = st.st_size;
    std::int64_t position = 0;
    // A peer that stops taking data for a whole time-out ends the transfer: nobody could
    // stop it otherwise.
    auto last_progress = std::chrono::steady_clock::now();
    auto last_pump = last_progress;
    while (position < size && !cancel_) {
        ssize_t chunk = ::read(file, buffer_.data(), kBufferSize);
        if (chunk <= 0) break;  // the file shrank meanwhile
        position += chunk;
        std::size_t off = 0;
        while (off < static_cast<std::size_t>(chunk) && !cancel_) {
            ssize_t n = ::send(fd_, buffer_.data() + off, static_cast<std::size_t>(chunk) - off,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n == 0) break;
            if (n > 0) {
                off += static_cast<std::size_t>(n);
                bytes_sent_ += n;
                last_progress = std::chrono::steady_clock::now();
                if (OnPacketSent) OnPacketSent(this);
                // The screen needs a pass every few milliseconds, not one per packet.
                if (last_progress - last_pump >= std::chrono::milliseconds(2)) {
                    platform::EventPump::Instance().RunOnePass();
                    last_pump = last_progress;
                }
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (Expired(last_progress)) throw ESockError("Send Timed Out");
                WaitSocket(POLLOUT);
            } else {
                ErrorCheck(platform::kSockWouldBlock);
                platform::EventPump::Instance().RunOnePass();
            }
        }
        if (off < static_cast<std::size_t>(chunk) && !cancel_) break;
    }
    if (cancel_) {
        cancel_ = false;
        throw EAbortError("Socket send aborted");
    }
}

void TSockSession::Listen(bool completion_channel) {
    SetStatus("Listening", 8);
    if (fd_ < 0) NewSocket(true);
    event_ = false;
    completion_channel_ = completion_channel;
    platform::sock::BindAndListen(fd_, 0, static_cast<std::uint16_t>(Port), 1);
    state_ = State::Listening;
    platform::EventPump::Instance().SetInterest(watch_, POLLIN);
}

int TSockSession::Accept() {
    SetStatus("Accepting", 4);
    // A server that never connects back (a firewall in between) must not hold us for ever.
    const auto start = std::chrono::steady_clock::now();
    while (!event_ && !cancel_) {
        PumpStep(true);
        if (!event_ && !cancel_ && Expired(start)) throw ESockError("Accept Timed Out");
    }
    if (cancel_) throw ESockError("Accepting Canceled");
    if (!no_error_) throw ESockError("Error creating Data Connection");
    std::uint32_t peer = 0;
    std::uint16_t peer_port = 0;
    int s = platform::sock::AcceptPeer(fd_, peer, peer_port);
    if (s < 0) throw ESockError("Error creating Data Connection");
    if (RequiredPeerAddress != 0 && peer != RequiredPeerAddress) {
        // Only the server we talk to may feed or take the data connection.
        ::close(s);
        throw ESockError("Error creating Data Connection");
    }
    remote_address_ = peer;
    remote_port_ = peer_port;
    if (cancel_) {
        ::close(s);
        cancel_ = false;
        throw EAbortError("Socket send aborted");
    }
    return s;
}

void TSockSession::AdoptSocket(int fd) {
    DropSocket();
    fd_ = fd;
    state_ = State::Connected;
    connected_ = true;
    watch_ = platform::EventPump::Instance().WatchSocket(
        fd_, POLLIN, [this](short revents) { OnSocketEvent(revents); });
}

void TSockSession::SetLinger(bool on) {
    if (fd_ >= 0) platform::sock::SetLinger(fd_, on);
}

bool TSockSession::DataAvailable() {
    SetStatus("Data Available", 8);
    char c;
    return ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

void TSockSession::ClearInput() {
    SetStatus("Clearing Input", 8);
    (void)::recv(fd_, buffer_.data(), kBufferSize, MSG_DONTWAIT);
}

void TSockSession::CloseSocket() {
    SetStatus("Request Close Socket", 4);
    connected_ = false;
    if (fd_ < 0) return;
    if (watch_) platform::EventPump::Instance().UnwatchSocket(watch_);
    watch_ = 0;
    state_ = State::Idle;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int err = errno;
        if (!destroying_) NewSocket(false);
        errno = err;
        ErrorCheck(platform::kSockWouldBlock);
        return;
    }
    if (destroying_) return;
    NewSocket(false);  // first, so a handler may Connect again at once
    if (OnDisconnect) OnDisconnect(this);
}

std::string TSockSession::LocalAddressForPort() {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    platform::sock::LocalAddress(fd_, address, port);
    std::string text = platform::sock::FormatIPv4(address);
    for (char& c : text)
        if (c == '.') c = ',';
    return text;
}

std::string TSockSession::LocalPortForPort() {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    platform::sock::LocalAddress(fd_, address, port);
    return "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF);
}

}  // namespace ftp

#include "platform/connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/event_pump.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Longest poll on our own socket inside one step, so the pump still runs often.
constexpr int kStepMs = 10;
// A ready socket skips the pump unless this long passed since its last pass.
constexpr auto kPumpEvery = std::chrono::milliseconds(2);
constexpr std::size_t kFillSize = 16384;
constexpr std::size_t kFileChunk = 65536;

Clock::time_point g_last_pump{};

void Pump() {
    g_last_pump = Clock::now();
    EventPump::Instance().RunOnePass();
}

std::string SystemText(int err) { return std::strerror(err); }

// sendfile and OpenSSL's socket writes cannot ask for MSG_NOSIGNAL: a peer that went away must
// give EPIPE, not end the process. SIGPIPE is held back on this thread while they run, and one
// raised meanwhile is taken off again.
class NoSigpipe {
public:
    NoSigpipe() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        was_pending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~NoSigpipe() {
        if (!was_pending_) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                timespec zero{};
                while (sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
                }
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    NoSigpipe(const NoSigpipe&) = delete;
    NoSigpipe& operator=(const NoSigpipe&) = delete;

private:
    sigset_t pipe_, old_;
    bool was_pending_ = false;
};

[[noreturn]] void Fail(NetErrc code, const std::string& detail, int err = 0) {
    throw NetError(code, detail, err);
}

[[noreturn]] void FailErrno(NetErrc code, int err) { Fail(code, SystemText(err), err); }

void CheckStop(const Wait& wait) {
    if (wait.Stopped()) Fail(NetErrc::Canceled, "");
}

int RemainingMs(const Wait& wait) {
    if (wait.deadline == Clock::time_point::max()) return kStepMs;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(wait.deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(0, std::min<long long>(left, kStepMs)));
}

bool IsNumericHost(const std::string& host) {
    in6_addr a6{};
    in_addr a4{};
    return ::inet_pton(AF_INET, host.c_str(), &a4) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), &a6) == 1;
}

}  // namespace

int LookupHost(const std::string& host, std::vector<Endpoint>& found) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) return rc;
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
        Endpoint e;
        std::memcpy(&e.address, a->ai_addr, a->ai_addrlen);
        e.length = static_cast<socklen_t>(a->ai_addrlen);
        found.push_back(e);
    }
    ::freeaddrinfo(list);
    return found.empty() ? EAI_NONAME : 0;
}

namespace {

std::string ErrorQueueText() {
    std::string text;
    while (unsigned long e = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(e, buffer, sizeof buffer);
        if (!text.empty()) text += "; ";
        text += buffer;
    }
    return text;
}

std::string Sha256Fingerprint(X509* cert) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (!X509_digest(cert, EVP_sha256(), md, &n)) return {};
    static const char* hex = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < n; ++i) {
        if (i) text += ':';
        text += hex[md[i] >> 4];
        text += hex[md[i] & 15];
    }
    return text;
}

NetErrc VerifyCode(long result) {
    switch (result) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return NetErrc::TlsNameMismatch;
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return NetErrc::TlsExpired;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return NetErrc::TlsNotYetValid;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return NetErrc::TlsUnknownIssuer;
        default:
            return NetErrc::TlsCertificateInvalid;
    }
}

std::shared_ptr<SSL_CTX> NewClientContext() {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) Fail(NetErrc::TlsHandshakeFailed, ErrorQueueText());
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // Honours SSL_CERT_FILE / SSL_CERT_DIR, else the system's store.
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT);
    return std::shared_ptr<SSL_CTX>(ctx, SSL_CTX_free);
}

}  // namespace

// ---- Wait, Endpoint ----

Wait Wait::For(std::chrono::milliseconds timeout, std::function<bool()> stop) {
    Wait w;
    if (timeout.count() > 0) w.deadline = Clock::now() + timeout;
    w.stop = std::move(stop);
    return w;
}

int Endpoint::Port() const {
    if (Family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (Family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return 0;
}

void Endpoint::SetPort(int port) {
    const auto p = htons(static_cast<std::uint16_t>(port));
    if (Family() == AF_INET) reinterpret_cast<sockaddr_in&>(address).sin_port = p;
    if (Family() == AF_INET6) reinterpret_cast<sockaddr_in6&>(address).sin6_port = p;
}

std::string Endpoint::HostText() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (Family() == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                    sizeof text);
    else if (Family() == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
                    sizeof text);
    return text;
}

bool Endpoint::SameHost(const Endpoint& other) const {
    return Family() == other.Family() && HostText() == other.HostText();
}

bool SplitHostPort(const std::string& text, std::string& host, int& port) {
    std::string rest;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) return false;
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return false;
    } else {
        const std::size_t colon = text.find(':');
        // More than one colon: a bare IPv6 literal.
        if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) {
            host = text;
            return true;
        }
        host = text.substr(0, colon);
        rest = text.substr(colon);
    }
    if (rest.empty()) return true;
    const std::string digits = rest.substr(1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::stoi(digits);
    if (value < 1 || value > 65535) return false;
    port = value;
    return true;
}

std::vector<Endpoint> Resolve(const std::string& host, int port, const Wait& wait,
                              const LookupFunction& lookup) {
    std::vector<Endpoint> found;
    if (!lookup && IsNumericHost(host)) {
        LookupHost(host, found);
    } else {
        // The lookup blocks in its own thread; a wait that ends early abandons it, and its late
        // result lands in the shared state nobody reads any more.
        struct State {
            std::mutex mutex;
            std::atomic<bool> done{false};
            int rc = 0;
            std::vector<Endpoint> found;
        };
        auto state = std::make_shared<State>();
        LookupFunction run = lookup ? lookup : LookupFunction(LookupHost);
        std::thread([state, run, host] {
            std::vector<Endpoint> result;
            const int rc = run(host, result);
            std::lock_guard<std::mutex> lock(state->mutex);
            state->rc = rc;
            state->found = std::move(result);
            state->done = true;
        }).detach();
        while (!state->done) {
            CheckStop(wait);
            if (wait.Passed()) Fail(NetErrc::LookupTimedOut, host);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            Pump();
        }
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->rc != 0) {
            Fail(NetErrc::LookupFailed,
                 host + ": " +
                     (state->rc == EAI_SYSTEM ? SystemText(errno) : ::gai_strerror(state->rc)));
        }
        found = state->found;
    }
    if (found.empty()) Fail(NetErrc::LookupFailed, host);
    for (Endpoint& e : found) e.SetPort(port);
    return found;
}

short WaitReady(int fd, short events, const Wait& wait, NetErrc timeout) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, 0);
        if (rc > 0) {
            if (Clock::now() - g_last_pump >= kPumpEvery) Pump();
            return p.revents;
        }
        CheckStop(wait);
        if (wait.Passed()) Fail(timeout, "");
        p.revents = 0;
        if (::poll(&p, 1, RemainingMs(wait)) > 0) {
            if (Clock::now() - g_last_pump >= kPumpEvery) Pump();
            return p.revents;
        }
        Pump();
    }
}

// ---- TLS state ----

struct Connection::Tls {
    std::shared_ptr<SSL_CTX> ctx;
    SSL* ssl = nullptr;
    ~Tls() {
        if (ssl) SSL_free(ssl);
    }
};

// ---- Connection ----

Connection::Connection() = default;

Connection::~Connection() { Abort(); }

void Connection::Reset() {
    tls_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    in_.clear();
    in_pos_ = 0;
    at_end_ = false;
}

void Connection::Connect(const std::vector<Endpoint>& endpoints, const Wait& wait) {
    Reset();
    std::string last = "no address";
    int lastErr = 0;
    for (const Endpoint& e : endpoints) {
        const int fd = ::socket(e.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastErr = errno;
            last = SystemText(lastErr);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int err = 0;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&e.address), e.length) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                try {
                    WaitReady(fd, POLLOUT, wait, NetErrc::ConnectTimedOut);
                } catch (...) {
                    ::close(fd);
                    throw;
                }
                socklen_t len = sizeof err;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
            }
        }
        if (err == 0) {
            fd_ = fd;
            return;
        }
        ::close(fd);
        last = e.HostText() + " port " + std::to_string(e.Port()) + ": " + SystemText(err);
        lastErr = err;
    }
    Fail(NetErrc::ConnectFailed, last, lastErr);
}

void Connection::Connect(const std::string& host, int port, const Wait& wait) {
    Connect(Resolve(host, port, wait), wait);
}

void Connection::Adopt(int fd) {
    Reset();
    fd_ = fd;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void Connection::WaitFor(short events, const Wait& wait, NetErrc timeout) {
    WaitReady(fd_, events, wait, timeout);
}

bool Connection::TlsActive() const { return tls_ != nullptr; }

std::string Connection::PeerFingerprint() const {
    if (!tls_) return {};
    X509* cert = SSL_get1_peer_certificate(tls_->ssl);
    if (!cert) return {};
    std::string fp = Sha256Fingerprint(cert);
    X509_free(cert);
    return fp;
}

void Connection::StartTls(const TlsOptions& options, const Wait& wait, const Connection* resume) {
    if (fd_ < 0) Fail(NetErrc::NotConnected, "");
    auto tls = std::make_unique<Tls>();
    tls->ctx = resume && resume->tls_ ? resume->tls_->ctx : NewClientContext();
    tls->ssl = SSL_new(tls->ctx.get());
    if (!tls->ssl || !SSL_set_fd(tls->ssl, fd_))
        Fail(NetErrc::TlsHandshakeFailed, ErrorQueueText());
    SSL* ssl = tls->ssl;
    const bool numeric = IsNumericHost(options.host);
    if (!numeric && !options.host.empty()) SSL_set_tlsext_host_name(ssl, options.host.c_str());
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (numeric)
        X509_VERIFY_PARAM_set1_ip_asc(param, options.host.c_str());
    else
        X509_VERIFY_PARAM_set1_host(param, options.host.c_str(), 0);
    // The result is judged after the handshake, so a failure can name its reason.
    SSL_set_verify(ssl, SSL_VERIFY_NONE, nullptr);
    if (resume && resume->tls_) {
        if (SSL_SESSION* session = SSL_get1_session(resume->tls_->ssl)) {
            SSL_set_session(ssl, session);
            SSL_SESSION_free(session);
        }
    }
    ERR_clear_error();
    for (;;) {
        int rc;
        {
            NoSigpipe guard;
            rc = SSL_connect(ssl);
        }
        if (rc == 1) break;
        const int e = SSL_get_error(ssl, rc);
        try {
            if (e == SSL_ERROR_WANT_READ)
                WaitFor(POLLIN, wait, NetErrc::TlsHandshakeFailed);
            else if (e == SSL_ERROR_WANT_WRITE)
                WaitFor(POLLOUT, wait, NetErrc::TlsHandshakeFailed);
            else
                Fail(NetErrc::TlsHandshakeFailed,
                     options.host + ": " +
                         (e == SSL_ERROR_SYSCALL || e == SSL_ERROR_ZERO_RETURN
                              ? std::string("connection closed during the handshake")
                              : ErrorQueueText()));
        } catch (...) {
            Abort();
            throw;
        }
    }
    X509* cert = SSL_get1_peer_certificate(ssl);
    if (!cert) {
        Abort();
        Fail(NetErrc::TlsHandshakeFailed, options.host + ": no certificate");
    }
    const std::string fingerprint = Sha256Fingerprint(cert);
    X509_free(cert);
    const long result = SSL_get_verify_result(ssl);
    // A resumed session was verified when it was made.
    if (result != X509_V_OK && !SSL_session_reused(ssl)) {
        NetErrc code = VerifyCode(result);
        if (!options.fingerprint.empty()) {
            if (options.fingerprint == fingerprint)
                code = NetErrc{};
            else
                code = NetErrc::TlsCertificateChanged;
        }
        if (code != NetErrc{}) {
            Abort();
            throw TlsVerifyError(code, options.host + ": " + X509_verify_cert_error_string(result),
                                 options.host, fingerprint);
        }
    }
    tls_ = std::move(tls);
}

void Connection::Send(std::string_view bytes, const Wait& wait) {
    if (fd_ < 0) Fail(NetErrc::NotConnected, "", ENOTCONN);
    std::size_t done = 0;
    while (done < bytes.size()) {
        CheckStop(wait);
        if (tls_) {
            ERR_clear_error();
            const int n =
                SSL_write(tls_->ssl, bytes.data() + done,
                          static_cast<int>(std::min<std::size_t>(bytes.size() - done, 1 << 20)));
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            const int e = SSL_get_error(tls_->ssl, n);
            if (e == SSL_ERROR_WANT_WRITE)
                WaitFor(POLLOUT, wait, NetErrc::SendTimedOut);
            else if (e == SSL_ERROR_WANT_READ)
                WaitFor(POLLIN, wait, NetErrc::SendTimedOut);
            else
                Fail(NetErrc::SendFailed, ErrorQueueText());
            continue;
        }
        const ssize_t n =
            ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            WaitFor(POLLOUT, wait, NetErrc::SendTimedOut);
        } else {
            FailErrno(NetErrc::SendFailed, errno);
        }
    }
}

std::int64_t Connection::SendFile(int file, std::int64_t size, std::chrono::milliseconds idle,
                                  const std::function<bool()>& stop,
                                  const std::function<void(std::int64_t)>& progress) {
    if (fd_ < 0) Fail(NetErrc::NotConnected, "", ENOTCONN);
    std::int64_t sent = 0;
    auto idleWait = [&] { return Wait::For(idle, stop); };
    Wait wait = idleWait();
    bool useSendfile = !tls_;
    std::vector<char> buffer;
    std::size_t have = 0, off = 0;
    while (sent < size) {
        if (stop && stop()) Fail(NetErrc::Canceled, "");
        if (useSendfile) {
            const auto want =
                static_cast<std::size_t>(std::min<std::int64_t>(size - sent, 1 << 20));
            ssize_t n;
            {
                NoSigpipe guard;
                n = ::sendfile(fd_, file, nullptr, want);
            }
            if (n > 0) {
                sent += n;
                wait = idleWait();
                if (progress) progress(sent);
                continue;
            }
            if (n == 0) break;  // the file shrank meanwhile
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                WaitFor(POLLOUT, wait, NetErrc::SendTimedOut);
                continue;
            }
            if (sent == 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                useSendfile = false;  // not a file sendfile can take: copy through a buffer
                continue;
            }
            FailErrno(NetErrc::SendFailed, errno);
        }
        if (off == have) {
            buffer.resize(kFileChunk);
            const ssize_t r = ::read(file, buffer.data(),
                                     static_cast<std::size_t>(std::min<std::int64_t>(
                                         size - sent, static_cast<std::int64_t>(kFileChunk))));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) FailErrno(NetErrc::ReadFailed, errno);
            if (r == 0) break;
            have = static_cast<std::size_t>(r);
            off = 0;
        }
        const std::size_t before = off;
        Wait piece = wait;
        Send(std::string_view(buffer.data() + off, have - off), piece);
        off = have;
        sent += static_cast<std::int64_t>(off - before);
        wait = idleWait();
        if (progress) progress(sent);
    }
    return sent;
}

bool Connection::Fill(const Wait& wait) {
    if (fd_ < 0 || at_end_) return false;
    char chunk[kFillSize];
    for (;;) {
        CheckStop(wait);
        if (tls_) {
            ERR_clear_error();
            NoSigpipe guard;
            const int n = SSL_read(tls_->ssl, chunk, sizeof chunk);
            if (n > 0) {
                in_.append(chunk, static_cast<std::size_t>(n));
                return true;
            }
            const int e = SSL_get_error(tls_->ssl, n);
            if (e == SSL_ERROR_WANT_READ) {
                WaitFor(POLLIN, wait, NetErrc::ReplyTimedOut);
            } else if (e == SSL_ERROR_WANT_WRITE) {
                WaitFor(POLLOUT, wait, NetErrc::ReplyTimedOut);
            } else if (e == SSL_ERROR_ZERO_RETURN || e == SSL_ERROR_SYSCALL) {
                at_end_ = true;
                return false;
            } else {
                Fail(NetErrc::ReadFailed, ErrorQueueText());
            }
            continue;
        }
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            in_.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0) {
            at_end_ = true;
            return false;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            WaitFor(POLLIN, wait, NetErrc::ReplyTimedOut);
            continue;
        }
        if (errno == ECONNRESET) {
            at_end_ = true;
            return false;
        }
        FailErrno(NetErrc::ReadFailed, errno);
    }
}

void Connection::Compact() {
    if (in_pos_ == 0) return;
    in_.erase(0, in_pos_);
    in_pos_ = 0;
}

bool Connection::ReadLine(std::string& line, const Wait& wait, std::size_t cap) {
    line.clear();
    Compact();
    std::size_t scanned = 0;
    for (;;) {
        const std::size_t lf = in_.find('\n', scanned);
        if (lf != std::string::npos && lf - in_pos_ < cap) {
            line.assign(in_, in_pos_, lf + 1 - in_pos_);
            in_pos_ = lf + 1;
            return true;
        }
        if (in_.size() - in_pos_ >= cap) {
            DiscardInput();
            Fail(NetErrc::LineTooLong, "over " + std::to_string(cap) + " bytes");
        }
        scanned = in_.size();
        if (!Fill(wait)) {
            if (in_pos_ == in_.size()) return false;
            line.assign(in_, in_pos_, std::string::npos);
            in_pos_ = in_.size();
            return true;
        }
    }
}

std::size_t Connection::Read(char* buffer, std::size_t size, const Wait& wait) {
    Compact();
    if (in_.empty() && !Fill(wait)) return 0;
    const std::size_t n = std::min(size, in_.size() - in_pos_);
    std::memcpy(buffer, in_.data() + in_pos_, n);
    in_pos_ += n;
    return n;
}

bool Connection::InputPending() {
    if (in_pos_ < in_.size()) return true;
    if (fd_ < 0 || at_end_) return false;
    if (tls_ && SSL_pending(tls_->ssl) > 0) return true;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    // Readable may mean a TLS record without application bytes: try one read without waiting.
    Wait now;
    now.deadline = Clock::now();
    try {
        return Fill(now) || in_pos_ < in_.size();
    } catch (const NetError&) {
        return in_pos_ < in_.size();
    }
}

void Connection::DiscardInput() {
    in_.clear();
    in_pos_ = 0;
    for (int i = 0; i < 64 && InputPending(); ++i) {
        in_.clear();
        in_pos_ = 0;
    }
    in_.clear();
    in_pos_ = 0;
}

void Connection::Close() {
    if (fd_ < 0) return;
    if (tls_) {
        ERR_clear_error();
        NoSigpipe guard;
        SSL_shutdown(tls_->ssl);  // our close-notify; the peer's is not waited for
    }
    // Bytes left unread (a TLS session ticket, say) would turn the close into a reset, and
    // the peer could lose what we sent last.
    ::shutdown(fd_, SHUT_WR);
    char sink[4096];
    if (tls_) {
        // A TLS peer may still be reading what we sent when its answer to our close-notify
        // (or a late session ticket) arrives: closing then would reset the connection under
        // its last reads, and an upload would fail at its end. Wait briefly for its end.
        const Wait wait = Wait::For(std::chrono::milliseconds(2000));
        try {
            while (WaitReady(fd_, POLLIN, wait, NetErrc::ReplyTimedOut) & (POLLIN | POLLHUP))
                if (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) <= 0) break;
        } catch (const NetError&) {
        }
    }
    for (int i = 0; i < 256 && ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
    }
    Reset();
}

void Connection::Abort() {
    if (fd_ < 0) return;
    SetLinger(true);
    Reset();
}

void Connection::SetLinger(bool resetOnClose) {
    if (fd_ < 0) return;
    linger l{resetOnClose ? 1 : 0, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

Endpoint Connection::Local() const {
    Endpoint e;
    e.length = sizeof e.address;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&e.address), &e.length) != 0)
        e.length = 0;
    return e;
}

Endpoint Connection::Peer() const {
    Endpoint e;
    e.length = sizeof e.address;
    if (fd_ < 0 || ::getpeername(fd_, reinterpret_cast<sockaddr*>(&e.address), &e.length) != 0)
        e.length = 0;
    return e;
}

// ---- Listener ----

Listener::~Listener() { Close(); }

void Listener::Listen(const Endpoint& local) {
    Close();
    fd_ = ::socket(local.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) FailErrno(NetErrc::ConnectFailed, errno);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local.address), local.length) != 0 ||
        ::listen(fd_, 1) != 0) {
        const int err = errno;
        Close();
        FailErrno(NetErrc::ConnectFailed, err);
    }
}

Endpoint Listener::Local() const {
    Endpoint e;
    e.length = sizeof e.address;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&e.address), &e.length) != 0)
        e.length = 0;
    return e;
}

int Listener::Accept(const Wait& wait, const Endpoint* peer) {
    for (;;) {
        WaitReady(fd_, POLLIN, wait, NetErrc::ConnectTimedOut);
        Endpoint from;
        from.length = sizeof from.address;
        const int s = ::accept4(fd_, reinterpret_cast<sockaddr*>(&from.address), &from.length,
                                SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (s < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED)
                continue;
            FailErrno(NetErrc::ConnectFailed, errno);
        }
        // Only the server we talk to may feed or take the data connection.
        if (peer && !from.SameHost(*peer)) {
            ::close(s);
            Fail(NetErrc::ConnectFailed, "data connection from " + from.HostText());
        }
        return s;
    }
}

void Listener::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace platform

#include "peers/scripted_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace peers {

Step Send(std::string bytes, int delay_ms) {
    Step s;
    s.kind = Step::Kind::Send;
    s.text = std::move(bytes);
    s.delay_ms = delay_ms;
    return s;
}

Step SendSplit(std::string bytes, std::size_t piece, int gap_ms) {
    Step s = Send(std::move(bytes));
    s.split = piece;
    s.delay_ms = gap_ms;
    return s;
}

Step SendLf(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return Send(std::move(out));
}

Step Expect(std::string line) {
    Step s;
    s.kind = Step::Kind::Expect;
    s.text = std::move(line);
    return s;
}

Step ExpectUntil(std::string last) {
    Step s;
    s.kind = Step::Kind::ExpectUntil;
    s.text = std::move(last);
    return s;
}

Step Wait(int ms) {
    Step s;
    s.kind = Step::Kind::Wait;
    s.delay_ms = ms;
    return s;
}

Step Close() {
    Step s;
    s.kind = Step::Kind::Close;
    return s;
}

Step Silent(int ms) {
    Step s;
    s.kind = Step::Kind::Silent;
    s.delay_ms = ms;
    return s;
}

Step AcceptNext() {
    Step s;
    s.kind = Step::Kind::Accept;
    return s;
}

Step Custom(std::function<void(PeerConnection&)> action) {
    Step s;
    s.kind = Step::Kind::Custom;
    s.action = std::move(action);
    return s;
}

bool PeerConnection::ReadLine(std::string& line) {
    for (;;) {
        auto lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, lf + 1);
            return true;
        }
        if (fd_ < 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ScriptedPeer::kReadTimeoutMs) <= 0) return false;
        char buf[4096];
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return false;
        pending_.append(buf, static_cast<std::size_t>(n));
        std::lock_guard<std::mutex> lock(owner_->mutex_);
        owner_->raw_.append(buf, static_cast<std::size_t>(n));
    }
}

void PeerConnection::SendAll(const std::string& bytes) {
    std::size_t off = 0;
    while (off < bytes.size() && fd_ >= 0) {
        ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0) {
            Fail("send failed");
            return;
        }
        off += static_cast<std::size_t>(n);
    }
}

void PeerConnection::Record(const std::string& line) {
    std::lock_guard<std::mutex> lock(owner_->mutex_);
    owner_->transcript_.push_back(line);
}

void PeerConnection::Fail(const std::string& why) {
    std::lock_guard<std::mutex> lock(owner_->mutex_);
    owner_->errors_.push_back(why);
}

ScriptedPeer::ScriptedPeer(std::vector<Step> steps, std::uint16_t port) : steps_(std::move(steps)) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_fd_, 4) != 0) {
        const std::string why = std::strerror(errno);
        ::close(listen_fd_);
        throw std::runtime_error("scripted peer cannot listen on port " + std::to_string(port) +
                                 ": " + why);
    }
    socklen_t len = sizeof a;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
    if (thread_.joinable()) thread_.join();
    if (listen_fd_ >= 0) ::close(listen_fd_);
}

bool ScriptedPeer::WaitDone(std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done_) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<std::string> ScriptedPeer::Transcript() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transcript_;
}

std::string ScriptedPeer::RawInput() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return raw_;
}

std::vector<std::string> ScriptedPeer::Errors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
}

bool ScriptedPeer::AcceptOne(PeerConnection& conn) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, kReadTimeoutMs) <= 0) {
        conn.Fail("no client connected");
        return false;
    }
    conn.fd_ = ::accept(listen_fd_, nullptr, nullptr);
    conn.pending_.clear();
    return conn.fd_ >= 0;
}

void ScriptedPeer::Run() {
    PeerConnection conn;
    conn.owner_ = this;
    auto close_conn = [&] {
        if (conn.fd_ >= 0) ::close(conn.fd_);
        conn.fd_ = -1;
    };
    if (AcceptOne(conn)) {
        for (std::size_t i = 0; i < steps_.size(); ++i) {
            const Step& s = steps_[i];
            const std::string where = "step " + std::to_string(i + 1) + ": ";
            switch (s.kind) {
                case Step::Kind::Send:
                    if (s.split == 0) {
                        if (s.delay_ms)
                            std::this_thread::sleep_for(std::chrono::milliseconds(s.delay_ms));
                        conn.SendAll(s.text);
                    } else {
                        for (std::size_t off = 0; off < s.text.size(); off += s.split) {
                            if (off)
                                std::this_thread::sleep_for(std::chrono::milliseconds(s.delay_ms));
                            conn.SendAll(s.text.substr(off, s.split));
                        }
                    }
                    break;
                case Step::Kind::Expect: {
                    std::string line;
                    if (!conn.ReadLine(line)) {
                        conn.Fail(where + "expected \"" + s.text + "\", got end of stream");
                        goto finished;
                    }
                    conn.Record(line);
                    if (!s.text.empty() && line != s.text)
                        conn.Fail(where + "expected \"" + s.text + "\", got \"" + line + "\"");
                    break;
                }
                case Step::Kind::ExpectUntil: {
                    std::string line;
                    do {
                        if (!conn.ReadLine(line)) {
                            conn.Fail(where + "end of stream before \"" + s.text + "\"");
                            goto finished;
                        }
                        conn.Record(line);
                    } while (line != s.text);
                    break;
                }
                case Step::Kind::Wait:
                case Step::Kind::Silent:
                    std::this_thread::sleep_for(std::chrono::milliseconds(s.delay_ms));
                    break;
                case Step::Kind::Close:
                    close_conn();
                    break;
                case Step::Kind::Accept:
                    close_conn();
                    if (!AcceptOne(conn)) goto finished;
                    break;
                case Step::Kind::Custom:
                    s.action(conn);
                    break;
            }
        }
    }
finished:
    // Let the client read what is left (a QUIT after the script, say) before closing.
    if (conn.fd_ >= 0) {
        ::shutdown(conn.fd_, SHUT_WR);
        pollfd p{conn.fd_, POLLIN, 0};
        char buf[1024];
        while (::poll(&p, 1, 200) > 0 && ::recv(conn.fd_, buf, sizeof buf, 0) > 0) {
        }
    }
    close_conn();
    done_ = true;
}

}  // namespace peers

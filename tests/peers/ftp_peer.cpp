#include "peers/ftp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace peers {

DataChannel::~DataChannel() {
    if (listen_fd >= 0) ::close(listen_fd);
}

Step ExpectPort(std::shared_ptr<DataChannel> channel, std::string reply) {
    return Custom([channel, reply](PeerConnection& conn) {
        std::string line;
        if (!conn.ReadLine(line)) {
            conn.Fail("expected PORT, got end of stream");
            return;
        }
        conn.Record(line);
        unsigned h[6];
        if (std::sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &h[4],
                        &h[5]) != 6) {
            conn.Fail("bad PORT line: " + line);
            return;
        }
        channel->port_address = (h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3];
        channel->port_port = static_cast<std::uint16_t>(h[4] * 256 + h[5]);
        conn.SendAll(reply);
    });
}

Step OfferPasv(std::shared_ptr<DataChannel> channel, bool read_command) {
    return Custom([channel, read_command](PeerConnection& conn) {
        std::string line;
        if (read_command) {
            if (!conn.ReadLine(line)) {
                conn.Fail("expected PASV, got end of stream");
                return;
            }
            conn.Record(line);
        }
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 1);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        if (channel->listen_fd >= 0) ::close(channel->listen_fd);
        channel->listen_fd = fd;
        unsigned port = ntohs(a.sin_port);
        conn.SendAll("227 Entering Passive Mode (127,0,0,1," + std::to_string(port >> 8) + "," +
                     std::to_string(port & 0xFF) + ")\r\n");
    });
}

namespace {

// Connects to the PORT address or accepts on the PASV listener; -1 (failure recorded) when
// that does not work.
int OpenData(DataChannel& channel, PeerConnection& conn) {
    int fd = -1;
    if (channel.listen_fd >= 0) {
        pollfd p{channel.listen_fd, POLLIN, 0};
        if (::poll(&p, 1, ScriptedPeer::kReadTimeoutMs) <= 0) {
            conn.Fail("client never opened the passive data connection");
            return -1;
        }
        fd = ::accept(channel.listen_fd, nullptr, nullptr);
    } else {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, channel.connect_from.c_str(), &from.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(channel.port_address);
        to.sin_port = htons(channel.port_port);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            conn.Fail("cannot connect to the client's PORT address");
            ::close(fd);
            return -1;
        }
    }
    channel.connected = true;
    return fd;
}

}  // namespace

Step HoldData(std::shared_ptr<DataChannel> channel) {
    return Custom([channel](PeerConnection& conn) {
        const int fd = OpenData(*channel, conn);
        if (fd < 0) return;
        pollfd p{fd, POLLRDHUP, 0};
        if (::poll(&p, 1, ScriptedPeer::kReadTimeoutMs) <= 0)
            conn.Fail("client kept the stalled data connection open");
        ::close(fd);
    });
}

Step ReceiveData(std::shared_ptr<DataChannel> channel) {
    return Custom([channel](PeerConnection& conn) {
        const int fd = OpenData(*channel, conn);
        if (fd < 0) return;
        char buf[65536];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, ScriptedPeer::kReadTimeoutMs) <= 0) {
                conn.Fail("data connection stayed open without data");
                break;
            }
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n > 0) {
                channel->bytes += n;
                continue;
            }
            if (n == 0)
                channel->closed_normally = true;
            else
                channel->reset = true;
            break;
        }
        ::close(fd);
    });
}

}  // namespace peers

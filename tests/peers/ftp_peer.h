#pragma once
// FTP extras for the scripted peer: a data channel that offers PASV or takes the client's PORT,
// then receives the upload and counts its bytes.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "peers/scripted_peer.h"

namespace peers {

struct DataChannel {
    // Where the client listens (from its PORT command), host byte order.
    std::uint32_t port_address = 0;
    std::uint16_t port_port = 0;
    // Active mode: connect from this local address (e.g. "127.0.0.2" to play a stranger).
    std::string connect_from = "127.0.0.1";
    int listen_fd = -1;  // passive mode listener
    std::atomic<std::int64_t> bytes{0};
    std::atomic<bool> connected{false};
    std::atomic<bool> closed_normally{false};  // end of stream, not a reset
    std::atomic<bool> reset{false};
    ~DataChannel();
};

// Reads the client's PORT line (recorded like Expect) and keeps its address in the channel,
// then answers `reply`.
Step ExpectPort(std::shared_ptr<DataChannel> channel, std::string reply = "200 PORT ok\r\n");
// Reads "PASV" (recorded; unless read_command is false), listens on 127.0.0.1 and answers 227
// with the address.
Step OfferPasv(std::shared_ptr<DataChannel> channel, bool read_command = true);
// Opens the data connection (connects to the PORT address, or accepts on the PASV listener)
// and reads until the client closes it, counting the bytes.
Step ReceiveData(std::shared_ptr<DataChannel> channel);
// Opens the data connection like ReceiveData but reads nothing, so the client's sends stall,
// until the client closes or resets it.
Step HoldData(std::shared_ptr<DataChannel> channel);

}  // namespace peers

#pragma once
// A scripted TCP peer on 127.0.0.1 for protocol tests. It listens on a free port, accepts one
// client and plays a table of steps in its own thread: send exact bytes (with delays, split
// writes, LF-only endings), expect a line from the client (recorded in the transcript), wait,
// close early, stay silent. Every blocking read gives up after a few seconds, so a faulty
// client fails the test instead of hanging it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace peers {

class PeerConnection;

struct Step {
    enum class Kind { Send, Expect, ExpectUntil, Wait, Close, Silent, Accept, Custom };
    Kind kind = Kind::Send;
    std::string text;       // bytes to send, or the expected line (without its line end)
    int delay_ms = 0;       // Send: pause before sending; Wait/Silent: duration
    std::size_t split = 0;  // Send: write in pieces of this many bytes (0 = one write)
    std::function<void(PeerConnection&)> action;  // Custom
};

// Step builders.
Step Send(std::string bytes, int delay_ms = 0);
// Sends the bytes in pieces of `piece` bytes with `gap_ms` between them.
Step SendSplit(std::string bytes, std::size_t piece, int gap_ms = 5);
// Sends the text with every CR LF turned into a bare LF.
Step SendLf(std::string text);
// Reads one line from the client and records it; when `line` is non-empty it must match.
Step Expect(std::string line = {});
// Reads and records lines until one equals `last` (e.g. "." after a mail body).
Step ExpectUntil(std::string last);
Step Wait(int ms);
// Closes the connection now (the client sees the end of the stream).
Step Close();
// Reads nothing and sends nothing for `ms` (a silent server).
Step Silent(int ms);
// Closes the current connection and accepts the next one (a client that connects again).
Step AcceptNext();
Step Custom(std::function<void(PeerConnection&)> action);

// The live connection as seen from a Custom step.
class PeerConnection {
public:
    int fd() const { return fd_; }
    // Reads one line (terminator removed); returns false on end of stream or time-out.
    bool ReadLine(std::string& line);
    void SendAll(const std::string& bytes);
    void Record(const std::string& line);
    void Fail(const std::string& why);

private:
    friend class ScriptedPeer;
    int fd_ = -1;
    std::string pending_;  // bytes read past the last line
    class ScriptedPeer* owner_ = nullptr;
};

class ScriptedPeer {
public:
    // Listens on a free port, or on `port` when given (throws when it cannot be bound).
    explicit ScriptedPeer(std::vector<Step> steps, std::uint16_t port = 0);
    ~ScriptedPeer();  // waits for the script to end
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    std::uint16_t Port() const { return port_; }
    // Waits until the script has run to its end (or the time-out); true when it did.
    bool WaitDone(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Lines the client sent, without line ends, in order.
    std::vector<std::string> Transcript() const;
    // Every byte the client sent that the line-reading steps took in, line ends included.
    std::string RawInput() const;
    // Mismatches and failures met while playing the script; empty when all went as scripted.
    std::vector<std::string> Errors() const;
    // How long a blocking read waits for the client before failing the step.
    static constexpr int kReadTimeoutMs = 8000;

private:
    friend class PeerConnection;
    void Run();
    bool AcceptOne(PeerConnection& conn);

    std::vector<Step> steps_;
    int listen_fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> done_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> transcript_;
    std::string raw_;
    std::vector<std::string> errors_;
};

}  // namespace peers

#pragma once
// A scripted peer that can switch to TLS in the middle of its script
// (tests/servers/tls_script_peer.py), for sessions that go on after STARTTLS or start in TLS.
#include <cstdio>
#include <string>
#include <vector>

namespace peers {

struct TlsStep {
    enum class Kind { Send, Expect, Tls, Close };
    Kind kind;
    std::string text;
};
inline TlsStep TlsSend(std::string text) { return {TlsStep::Kind::Send, std::move(text)}; }
inline TlsStep TlsExpect(std::string line = {}) { return {TlsStep::Kind::Expect, std::move(line)}; }
inline TlsStep TlsHandshake() { return {TlsStep::Kind::Tls, {}}; }
inline TlsStep TlsClose() { return {TlsStep::Kind::Close, {}}; }

class TlsScriptPeer {
public:
    // Starts the peer with the test certificate `cert`; Port() is 0 and Problem() says why
    // when it could not start.
    explicit TlsScriptPeer(const std::vector<TlsStep>& steps, const std::string& cert = "server");
    ~TlsScriptPeer();
    TlsScriptPeer(const TlsScriptPeer&) = delete;
    TlsScriptPeer& operator=(const TlsScriptPeer&) = delete;

    int Port() const { return port_; }
    const std::string& Problem() const { return problem_; }
    // Waits for the script's end; then the lines the client sent and the mismatches.
    void Finish();
    const std::vector<std::string>& Transcript() const { return transcript_; }
    const std::vector<std::string>& Errors() const { return errors_; }

private:
    std::FILE* pipe_ = nullptr;
    int port_ = 0;
    std::string problem_;
    std::vector<std::string> transcript_;
    std::vector<std::string> errors_;
};

}  // namespace peers

#include "peers/tls_script_peer.h"

#include <filesystem>

#include "peers/ftp_servers.h"

namespace peers {

namespace {

// The text as a JSON string; the script passes bytes through as Latin-1.
std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Quoted(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool ReadLine(std::FILE* f, std::string& line) {
    line.clear();
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') return true;
        line += static_cast<char>(c);
    }
    return !line.empty();
}

}  // namespace

TlsScriptPeer::TlsScriptPeer(const std::vector<TlsStep>& steps, const std::string& cert) {
    const auto& certs = ftptest::Certificates();
    if (certs.dir.empty()) {
        problem_ = certs.error;
        return;
    }
    std::string script = "[";
    for (const TlsStep& s : steps) {
        if (script.size() > 1) script += ",";
        switch (s.kind) {
            case TlsStep::Kind::Send:
                script += "[\"send\"," + Json(s.text) + "]";
                break;
            case TlsStep::Kind::Expect:
                script += "[\"expect\"," + Json(s.text) + "]";
                break;
            case TlsStep::Kind::Tls:
                script += "[\"tls\"]";
                break;
            case TlsStep::Kind::Close:
                script += "[\"close\"]";
                break;
        }
    }
    script += "]";
    const std::string peer =
        (std::filesystem::path(FERNLAY_SOURCE_DIR) / "tests/servers/tls_script_peer.py").string();
    const std::string cmd = "/usr/bin/python3 " + Quoted(peer) + " " +
                            Quoted(certs.Pem(cert).string()) + " " +
                            Quoted(certs.Key(cert).string()) + " " + Quoted(script);
    pipe_ = ::popen(cmd.c_str(), "r");
    std::string line;
    if (!pipe_ || !ReadLine(pipe_, line) || line.rfind("port ", 0) != 0) {
        problem_ = "tls_script_peer.py did not start: " + line;
        return;
    }
    port_ = std::stoi(line.substr(5));
}

void TlsScriptPeer::Finish() {
    if (!pipe_) return;
    for (std::string line; ReadLine(pipe_, line) && line != "end";) {
        if (line.rfind("> ", 0) == 0) transcript_.push_back(line.substr(2));
        if (line.rfind("! ", 0) == 0) errors_.push_back(line.substr(2));
    }
    ::pclose(pipe_);
    pipe_ = nullptr;
}

TlsScriptPeer::~TlsScriptPeer() { Finish(); }

}  // namespace peers

#pragma once
// Real FTP servers for the tests, started on 127.0.0.1 in temporary directories and stopped
// when their holder goes away.
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ftptest {

// A child process in its own process group (servers fork per connection).
class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess() { Stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    bool Start(const std::vector<std::string>& argv, const std::filesystem::path& log);
    void Stop();
    bool Running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

// A new directory under the temporary directory that other users may read (servers drop their
// privileges); empty when it cannot be made.
std::filesystem::path MakeTempDir(const std::string& tag);
// A free TCP port on 127.0.0.1 (above 1024).
int FreePort();
// True once a server on the port answers with a 220 greeting.
bool WaitForGreeting(int port, int timeout_ms);
// True once something accepts connections on the port (a TLS server greets only after the
// handshake).
bool WaitForPort(int port, int timeout_ms);

// Certificates made once per test process by tests/servers/test_certs.py: ca.pem, and signed
// by it server (127.0.0.1, localhost), wrongname, expired; selfsigned. Empty dir when they
// could not be made (error says why).
struct TestCertificates {
    std::filesystem::path dir;
    std::string error;
    std::filesystem::path Pem(const std::string& name) const { return dir / (name + ".pem"); }
    std::filesystem::path Key(const std::string& name) const { return dir / (name + ".key"); }
};
const TestCertificates& Certificates();
// Makes the test CA the trust store of this process (OpenSSL reads SSL_CERT_FILE).
void TrustTestCa();

enum class Kind {
    Pyftpdlib,         // names decoded as Shift_JIS
    PyftpdlibUtf8,     // names decoded as UTF-8
    PyftpdlibDiscard,  // uploads counted, not stored
    Vsftpd,
    VsftpdExplicitTls,
    VsftpdImplicitTls,
};

struct FtpServer {
    Kind kind;
    std::filesystem::path dir;   // temporary directory (work files)
    std::filesystem::path root;  // the user's directory on the server
    int port = 0;
    std::string user, password;
    std::string error;  // why it could not start
    ServerProcess process;
    ~FtpServer();
};

// Starts a server on `port` (0 = a free one); check `error` before use. The TLS kinds use the
// test certificate `cert` (see Certificates()).
std::unique_ptr<FtpServer> StartFtpServer(Kind kind, int port = 0,
                                          const std::string& cert = "server");

struct FtpProxy {
    std::filesystem::path dir;
    int port = 0;
    std::string error;
    ServerProcess process;
    ~FtpProxy();
};
std::unique_ptr<FtpProxy> StartFtpProxy(int destination_port);

}  // namespace ftptest

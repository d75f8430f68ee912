#pragma once
// TFtpClient: the FTP control session (log-in directly or through a proxy, single commands
// reporting a TCmdType, multi-line replies, QUIT) and uploads over a separate data connection.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ftp/cmd_type.h"
#include "ftp/sock_session.h"

namespace ftp {

class FTPException : public platform::Error {
public:
    using platform::Error::Error;
    ~FTPException() override;
};

// The longest command line a server must take, its CR LF included.
inline constexpr std::size_t kMaxCommandLine = 1024;

// Why a command cannot be sent as one line. A cut or split line would lose its end and glue
// the next command on, so such a command is refused whole.
enum class CommandFault { None, LineBreak, Nul, TooLong };
CommandFault CheckCommand(const std::string& command);

// Text of the reason for a refused or failed command when the server closed the connection
// instead of answering.
inline constexpr const char* kConnectionClosedText = "Connection closed by server";

enum TFirewallType { FTUser = 0, FtOpen = 1, FtSite = 2 };
// TLS of the control and data connections.
enum class TFtpSecurity {
    None,      // plain, as always
    Explicit,  // AUTH TLS after the greeting, then PBSZ 0 and PROT P
    Implicit,  // TLS from the first byte (port 990)
};
enum TTransferType { TransferAscii = 1, TransferImage = 2, TransferLocal8 = 3 };

using TFailureEvent = std::function<void(TSockSession* sender, bool& handled, TCmdType trans)>;
using TSuccessEvent = std::function<void(TSockSession* sender, TCmdType trans)>;
using TUnsupportedEvent = std::function<void(TSockSession* sender, TCmdType trans)>;
using TFtpListItem = std::function<void(TSockSession* sender, const std::string& listing)>;

class TFtpClient : public TSockSession {
public:
    TFtpClient();
    ~TFtpClient() override;

    // Published properties (besides those of the socket session).
    std::string UserID;
    std::string Password;
    int Vendor = 2411;
    bool ParseList = false;
    bool Passive = false;
    TFirewallType FirewallType = FTUser;
    std::string FWUserID;
    std::string FWPassword;
    bool FWAuthenticate = false;
    TFtpSecurity Security = TFtpSecurity::None;
    // SHA-256 of a certificate the user trusted although it did not verify.
    std::string TrustedFingerprint;
    // Names as UTF-8 when the server announces UTF8 in FEAT; Shift_JIS otherwise.
    bool AutoUtf8 = false;

    // Events. OnConnect (inherited) fires after a successful log-in.
    TNotifyEvent OnTransactionStart;
    TNotifyEvent OnTransactionStop;
    THandlerEvent OnAuthenticationNeeded;
    THandlerEvent OnAuthenticationFailed;  // declared only
    TFailureEvent OnFailure;
    TSuccessEvent OnSuccess;
    TFtpListItem OnListItem;  // declared only
    TUnsupportedEvent OnUnSupportedFunction;

    void Connect() override;
    void Disconnect() override;
    std::string Transaction(const std::string& command) override;
    // Cancels the data connection of a running upload, the control connection otherwise
    // (see the definition for time-outs).
    void Abort() override;

    void DoCommand(const std::string& command);
    void ChangeDir(const std::string& directory);
    void MakeDir(const std::string& directory);
    void Delete(const std::string& file_name);
    void Mode(int transfer_type);
    // Uploads a local file to the current remote directory; an empty remote name means the
    // file-name part of the local path. True when the server confirmed the file with a 2xx
    // reply after the data; false when a failure was handled by OnFailure (else it throws).
    bool Upload(const std::string& local_path, const std::string& remote_name);
    // Bytes handed to the data socket by the running upload; 0 when none runs.
    std::int64_t BytesSent() const;

    // True once the log-in switched names to UTF-8 (AutoUtf8 and the server agreed).
    bool Utf8Names() const { return utf8_names_; }
    // The bytes a Shift_JIS name goes to the server as in this session.
    std::string WireName(const std::string& sjisName) const;

protected:
    void NotifyConnected() override {}

private:
    void LoginCheck();
    [[noreturn]] void LoginFailed(const std::string& reason);
    // AUTH TLS (explicit) and the handshake, or the handshake alone (implicit).
    void SecureControl();
    // PBSZ 0 and PROT P after the log-in, FEAT and OPTS UTF8 when asked for.
    void AfterLogIn();
    // Opens the data connection (PASV/EPSV, or PORT/EPRT and listen); false when refused and
    // handled.
    bool OpenDataConnection(TSockSession& data, bool& handled);
    void RefusedStep(bool& handled);
    // The reply line; kConnectionClosedText when none came, words when it had no code.
    std::string ReplyOrClosed() const;

    std::unique_ptr<TSockSession> data_session_;
    bool protected_data_ = false;
    bool utf8_names_ = false;
    std::recursive_mutex upload_lock_;
};

// The name a FTUser proxy logs in with: user "@" host, and ":" port when the server does not
// listen on 21 (an IPv6 literal then in brackets).
std::string ProxyUserName(const std::string& user, const std::string& host, int port);

// The file-name part of a local path: the text after its last "\" or "/" (Shift_JIS aware).
std::string FileNamePart(const std::string& path);

}  // namespace ftp

#include "ftp/ftp_client.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/reply_text.h"
#include "platform/screen_text.h"
#include "platform/sjis.h"

namespace ftp {

FTPException::~FTPException() = default;

namespace {

// A command argument must never smuggle a second command to the server, nor lose the line end
// that keeps the next command apart.
void RefuseUnsafeCommand(const std::string& command) {
    switch (CheckCommand(command)) {
        case CommandFault::None:
            return;
        case CommandFault::LineBreak:
            throw FTPException("Line break in FTP command refused");
        case CommandFault::Nul:
            throw FTPException("NUL in FTP command refused");
        case CommandFault::TooLong:
            throw FTPException("FTP command line longer than " + std::to_string(kMaxCommandLine) +
                               " bytes refused");
    }
}

// Why a reply line ends a step: the line itself, or words when there was none or it carried
// no reply code.
std::string FailureReason(const std::string& line) {
    if (line.empty()) return kConnectionClosedText;
    if (line[0] < '0' || line[0] > '9') return platform::UnreadableReplyText(line);
    return line;
}

bool IsPositiveCompletion(int code) { return code >= 200 && code <= 299; }
bool IsPreliminary(int code) { return code >= 100 && code <= 199; }

TCmdType CodeOf(const std::string& command) {
    const std::string verb = command.substr(0, command.find(' ')) + " ";
    if (verb == "CWD ") return TransChangeDir;
    if (verb == "DELE ") return TransDelete;
    if (verb == "MKD ") return TransMakeDir;
    if (verb == "RMD ") return TransRemoveDir;
    if (command == "PWD") return TransPrintDir;
    return TransDoCommand;
}

// Data port of an EPSV reply: "(|||port|)" (any delimiter character).
int ExtendedPassivePort(const std::string& reply) {
    const std::size_t open = reply.find('(');
    const std::size_t close = reply.find(')', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos || close - open < 6)
        throw FTPException(platform::UnreadableReplyText(reply));
    const std::string inner = reply.substr(open + 1, close - open - 1);
    const char d = inner[0];
    if (inner.size() < 5 || inner[1] != d || inner[2] != d || inner.back() != d)
        throw FTPException(platform::UnreadableReplyText(reply));
    const std::string digits = inner.substr(3, inner.size() - 4);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        throw FTPException(platform::UnreadableReplyText(reply));
    const int port = std::stoi(digits);
    if (port < 1 || port > 65535) throw FTPException(platform::UnreadableReplyText(reply));
    return port;
}

// Data port of a PASV reply: "(h1,h2,h3,h4,p1,p2)". The address is ignored on purpose.
int PassivePort(const std::string& reply) {
    std::string fields[6];
    int n = 0;
    for (char c : reply) {
        if (c == ',') {
            if (++n > 5) break;
        } else if (n > 0) {
            fields[n] += c;
        }
    }
    auto number = [&](std::string text, bool up_to_paren) -> int {
        if (up_to_paren) text = text.substr(0, text.find(')'));
        while (!text.empty() && text.front() == ' ') text.erase(0, 1);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
            text.pop_back();
        if (text.empty() || text.size() > 3 ||
            text.find_first_not_of("0123456789") != std::string::npos)
            throw FTPException(platform::UnreadableReplyText(reply));
        int v = std::stoi(text);
        if (v > 255) throw FTPException(platform::UnreadableReplyText(reply));
        return v;
    };
    if (n < 5) throw FTPException(platform::UnreadableReplyText(reply));
    int port = number(fields[4], false) * 256 + number(fields[5], true);
    if (port == 0) throw FTPException(platform::UnreadableReplyText(reply));
    return port;
}

}  // namespace

CommandFault CheckCommand(const std::string& command) {
    if (command.find_first_of("\r\n") != std::string::npos) return CommandFault::LineBreak;
    if (command.find('\0') != std::string::npos) return CommandFault::Nul;
    if (command.size() + 2 > kMaxCommandLine) return CommandFault::TooLong;
    return CommandFault::None;
}

std::string ProxyUserName(const std::string& user, const std::string& host, int port) {
    if (port == 21) return user + "@" + host;
    const bool v6 = host.find(':') != std::string::npos;
    return user + "@" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string FileNamePart(const std::string& path) {
    std::size_t cut = 0;
    for (std::size_t i = 0; i < path.size(); i += platform::sjis::CharLength(path, i))
        if (path[i] == '\\' || path[i] == '/') cut = i + 1;
    return path.substr(cut);
}

TFtpClient::TFtpClient() { Port = 21; }

TFtpClient::~TFtpClient() {
    destroying_ = true;
    Cancel();
    if (data_session_) data_session_->Cancel();
}

std::int64_t TFtpClient::BytesSent() const {
    return data_session_ ? data_session_->BytesSent() : 0;
}

void TFtpClient::Abort() {
    // During an upload the first abort stops the data transfer only; after a time-out the
    // server gets one more time-out to answer on the control connection. A second one, or
    // any outside an upload, ends the control read: a silent server cannot hang the program.
    if (data_session_ && !data_session_->CancelRequested()) {
        data_session_->Cancel();
        if (TimedOut()) RestartTimer();
        return;
    }
    TSockSession::Abort();
}

std::string TFtpClient::Transaction(const std::string& command) {
    RefuseUnsafeCommand(command);
    SetStatus("Transaction", 8);
    Writeln(command);
    ReadWholeReply();
    return TransactionReply();
}

std::string TFtpClient::WireName(const std::string& sjisName) const {
    if (!utf8_names_) return sjisName;
    const auto utf8 = platform::TrySjisToUtf8(sjisName);
    if (!utf8) throw FTPException("Name is not valid Shift_JIS: cannot send it as UTF-8");
    return *utf8;
}

void TFtpClient::SecureControl() {
    const platform::TlsOptions options{Host, TrustedFingerprint};
    if (Security == TFtpSecurity::Explicit) {
        Transaction("AUTH TLS");
        if (ReplyNumber() != 234) {
            if (OnConnectionFailed) OnConnectionFailed(this);
            throw platform::NetError(platform::NetErrc::TlsRefused, Host + ": " + ReplyOrClosed());
        }
    }
    try {
        StartTls(options);
    } catch (const platform::NetError&) {
        if (OnConnectionFailed) OnConnectionFailed(this);
        throw;
    }
}

void TFtpClient::AfterLogIn() {
    if (Security != TFtpSecurity::None) {
        Transaction("PBSZ 0");
        if (!IsPositiveCompletion(ReplyNumber())) LoginFailed(ReplyOrClosed());
        Transaction("PROT P");
        if (!IsPositiveCompletion(ReplyNumber())) LoginFailed(ReplyOrClosed());
        protected_data_ = true;
    }
    if (AutoUtf8) {
        SetStatus("FEAT", 8);
        Writeln("FEAT");
        const platform::Reply features = ReadWholeReply();
        bool utf8 = false;
        if (IsPositiveCompletion(features.code))
            for (std::size_t i = 1; i + 1 < features.lines.size(); ++i) {
                std::string f = features.lines[i];
                while (!f.empty() && f.front() == ' ') f.erase(0, 1);
                if (f.compare(0, 4, "UTF8") == 0) utf8 = true;
            }
        // A server that announces UTF8 takes UTF-8 names; OPTS UTF8 ON switches over those
        // that still wait for it, and its refusal changes nothing.
        if (utf8) {
            Transaction("OPTS UTF8 ON");
            utf8_names_ = true;
        }
    }
}

std::string TFtpClient::ReplyOrClosed() const { return FailureReason(TransactionReply()); }

void TFtpClient::LoginFailed(const std::string& reason) {
    if (OnConnectionFailed) OnConnectionFailed(this);
    throw FTPException(reason);
}

void TFtpClient::LoginCheck() {
    if (TransactionReply().empty() || (ReplyNumber() >= 401 && ReplyNumber() <= 599))
        LoginFailed(ReplyOrClosed());
}

void TFtpClient::Connect() {
    ClearCancel();
    if (Connected()) return;
    ClearInput();
    protected_data_ = false;
    utf8_names_ = false;
    TSockSession::Connect();
    try {
        if (Security == TFtpSecurity::Implicit) SecureControl();
        ReadWholeReply();
        const std::string greeting = TransactionReply();
        if (greeting.empty()) LoginFailed(kConnectionClosedText);
        const int code = ReplyNumber();
        if (code > 400) LoginFailed(greeting);
        if (Security == TFtpSecurity::Explicit) SecureControl();
        if (FWAuthenticate) {
            Transaction("USER " + FWUserID);
            LoginCheck();
            if (ReplyNumber() == 331) {
                SetStatus("PASS ", 1);
                Transaction("PASS " + FWPassword);
                LoginCheck();
            }
        }
        if ((UserID.empty() || Password.empty()) && OnAuthenticationNeeded) {
            bool handled = false;
            OnAuthenticationNeeded(this, handled);
        }
        if (!Proxy.empty()) {
            switch (FirewallType) {
                case FTUser:
                    Transaction("USER " + ProxyUserName(UserID, Host, Port));
                    break;
                case FtOpen:
                    Transaction("OPEN " + Host);
                    break;
                case FtSite:
                    Transaction("SITE " + Host);
                    break;
            }
        }
        if (Proxy.empty() || FirewallType != FTUser) {
            SetStatus("USER " + UserID, 1);
            Transaction("USER " + UserID);
            LoginCheck();
        }
        bool password_sent = false;
        if (ReplyNumber() == 331) {
            SetStatus("PASS ", 1);  // never the password itself
            Transaction("PASS " + Password);
            LoginCheck();
            password_sent = true;
        }
        // Logged in means 230, or any 2xx once the password was sent; a reply that asks for
        // more, or none at all, is no log-in.
        const int code_after = ReplyNumber();
        if (code_after != 230 && !(password_sent && IsPositiveCompletion(code_after)))
            LoginFailed(ReplyOrClosed());
        AfterLogIn();
        if (OnConnect) OnConnect(this);
    } catch (...) {
        try {
            // Nothing goes out in clear once TLS was asked for, not even the goodbye.
            if (Security != TFtpSecurity::None && !TlsActive())
                TSockSession::Disconnect();
            else
                Disconnect();
        } catch (...) {
        }
        SetStatus("Disconnected", 1);
        throw;
    }
}

void TFtpClient::Disconnect() {
    ClearCancel();
    if (!Connected()) return;
    SetStatus("QUIT", 1);
    Vendor = 2411;
    try {
        if (DataAvailable()) Read(0);
        Transaction("QUIT");
        if (ReplyNumber() >= 301 && ReplyNumber() <= 599) throw FTPException(TransactionReply());
    } catch (...) {
        TSockSession::Disconnect();
        throw;
    }
    TSockSession::Disconnect();
}

void TFtpClient::DoCommand(const std::string& command) {
    RefuseUnsafeCommand(command);
    const TCmdType code = CodeOf(command);
    ClearCancel();
    CheckConnection();
    SetStatus(command, 1);
    if (DataAvailable()) Read(0);  // leftovers of earlier replies
    Transaction(command);
    const int reply = ReplyNumber();
    // A command the server closed the connection on instead of answering failed too.
    if (TransactionReply().empty() || (reply >= 400 && reply <= 599)) {
        if (reply >= 500 && reply <= 502 && OnUnSupportedFunction)
            OnUnSupportedFunction(this, code);
        if (!OnFailure) throw FTPException(ReplyOrClosed());
        bool handled = false;
        OnFailure(this, handled, code);
        if (!handled) throw FTPException(ReplyOrClosed());
        return;
    }
    if (OnSuccess) OnSuccess(this, code);
}

void TFtpClient::ChangeDir(const std::string& directory) {
    DoCommand("CWD " + WireName(directory));
}
void TFtpClient::MakeDir(const std::string& directory) { DoCommand("MKD " + WireName(directory)); }
void TFtpClient::Delete(const std::string& file_name) { DoCommand("DELE " + WireName(file_name)); }

void TFtpClient::Mode(int transfer_type) {
    switch (transfer_type) {
        case TransferAscii:
            DoCommand("TYPE A");
            break;
        case TransferImage:
            DoCommand("TYPE I");
            break;
        case TransferLocal8:
            DoCommand("TYPE L 8");
            break;
        default:
            break;
    }
}

void TFtpClient::RefusedStep(bool& handled) {
    if (!OnFailure) throw FTPException(ReplyOrClosed());
    bool h = false;
    OnFailure(this, h, TransUpload);
    if (!h) throw FTPException(ReplyOrClosed());
    handled = true;
}

bool TFtpClient::OpenDataConnection(TSockSession& data, bool& handled) {
    const platform::Endpoint local = Link().Local();
    const bool v6 = local.Family() == AF_INET6;
    if (Passive) {
        // EPSV where the control connection is IPv6; the PASV address is ignored either way.
        Transaction(v6 ? "EPSV" : "PASV");
        if (TransactionReply().empty() || ReplyNumber() > 499) {
            RefusedStep(handled);
            return false;
        }
        data.Host = Link().Peer().HostText();
        data.Port = v6 ? ExtendedPassivePort(TransactionReply()) : PassivePort(TransactionReply());
        data.Connect();
        return true;
    }
    platform::Endpoint listen = local;
    listen.SetPort(0);
    data.ListenAddress = listen;
    data.Port = 0;
    data.Listen(true);
    if (v6) {
        Transaction("EPRT |2|" + local.HostText() + "|" + std::to_string(data.ListenPort()) + "|");
    } else {
        Transaction("PORT " + LocalAddressForPort() + data.LocalPortForPort());
    }
    if (TransactionReply().empty() || (ReplyNumber() >= 301 && ReplyNumber() <= 599)) {
        RefusedStep(handled);
        return false;
    }
    return true;
}

bool TFtpClient::Upload(const std::string& local_path, const std::string& remote_name) {
    bool success = false;
    ClearCancel();
    try {
        const std::string stor_name =
            WireName(remote_name.empty() ? FileNamePart(local_path) : remote_name);
        RefuseUnsafeCommand("STOR " + stor_name);
        CheckConnection();
        std::lock_guard<std::recursive_mutex> lock(upload_lock_);
        // Every exit from here on destroys the data session and releases the lock.
        struct Cleanup {
            std::unique_ptr<TSockSession>& session;
            ~Cleanup() { session.reset(); }
        } cleanup{data_session_};
        if (DataAvailable()) Read(0);

        // A file that cannot be read fails here, before the server hears of it.
        const int file = ::open(local_path.c_str(), O_RDONLY | O_CLOEXEC);
        struct FileGuard {
            int fd;
            ~FileGuard() {
                if (fd >= 0) ::close(fd);
            }
        } file_guard{file};
        struct stat st {};
        if (file < 0 || ::fstat(file, &st) != 0 || !S_ISREG(st.st_mode))
            throw platform::Error("Cannot open file " + local_path);
        BytesTotal = st.st_size;

        data_session_ = std::make_unique<TSockSession>();
        TSockSession& data = *data_session_;
        data.TimeOut = TimeOut;
        if (OnPacketSent) data.OnPacketSent = OnPacketSent;

        bool refused_handled = false;
        if (!OpenDataConnection(data, refused_handled)) return false;
        SetStatus("STOR " + (remote_name.empty() ? local_path : remote_name), 1);
        Transaction("STOR " + stor_name);
        if (TransactionReply().empty() || (ReplyNumber() >= 301 && ReplyNumber() <= 599)) {
            if (ReplyNumber() <= 502 && ReplyNumber() >= 500 && OnUnSupportedFunction)
                OnUnSupportedFunction(this, TransUpload);
            RefusedStep(refused_handled);
            return false;
        }
        if (!Passive) {
            data.RequiredPeer = Link().Peer();
            data.AdoptSocket(data.Accept());
        }
        // The server starts its side of the data TLS only once STOR was answered; the session
        // continues the control connection's, as servers require.
        if (protected_data_ && !CancelRequested() && !TimedOut())
            data.StartTls({Host, TrustedFingerprint}, this);
        if (OnTransactionStart) OnTransactionStart(this);
        if (!CancelRequested() && !TimedOut()) data.SendFile(file, BytesTotal);
        if (OnTransactionStop) OnTransactionStop(this);
        data.SetLinger(false);  // a normal close: the server gets every byte sent
        data.CloseSocket();
        if (!CancelRequested() && !TimedOut()) {
            // Preliminary replies (a restart marker, say) come before the one that tells; left
            // unread, that one would be taken for the answer to the next command.
            do {
                ReadWholeReply();
                if (TransactionReply().empty()) throw FTPException(kConnectionClosedText);
            } while (IsPreliminary(ReplyNumber()) && !CancelRequested() && !TimedOut());
            // Only a 2xx reply says the server has the file.
            if (!IsPositiveCompletion(ReplyNumber()))
                throw FTPException(FailureReason(TransactionReply()));
        }
        // A transfer skipped after a time-out or cancel never reached the server.
        if (TimedOut()) throw ESockError("Connection Timed out");
        if (CancelRequested()) throw EAbortError("Socket send aborted");
        success = true;
    } catch (...) {
        if (OnFailure) {
            bool handled = false;
            OnFailure(this, handled, TransUpload);
            if (handled) return false;
        }
        throw;
    }
    if (!success) return false;
    if (OnSuccess) OnSuccess(this, TransUpload);
    return true;
}

}  // namespace ftp

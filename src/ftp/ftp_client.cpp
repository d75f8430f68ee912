#include "ftp/ftp_client.h"

#include <sys/stat.h>

#include "platform/reply_text.h"
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

// The reply code a line starts with (up to four digits; 0 when it starts with none).
int ReplyCode(const std::string& line) {
    int code = 0;
    for (std::size_t i = 0; i < line.size() && i < 4 && line[i] >= '0' && line[i] <= '9'; ++i)
        code = code * 10 + (line[i] - '0');
    return code;
}

TCmdType CodeOf(const std::string& command) {
    const std::string verb = command.substr(0, command.find(' ')) + " ";
    if (verb == "CWD ") return TransChangeDir;
    if (verb == "DELE ") return TransDelete;
    if (verb == "MKD ") return TransMakeDir;
    if (verb == "RMD ") return TransRemoveDir;
    if (command == "PWD") return TransPrintDir;
    return TransDoCommand;
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
    std::string reply = TSockSession::Transaction(command);
    ReadReplyContinuation(reply);
    return reply;
}

void TFtpClient::ReadReplyContinuation(std::string line) {
    while (!line.empty() && (line[0] == ' ' || (line.size() >= 4 && line[3] == '-'))) {
        line = ReadLn();
        SetStatus(line, 1);
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
    TSockSession::Connect();
    try {
        std::string greeting = ReadLn();
        if (greeting.empty()) LoginFailed(kConnectionClosedText);
        SetStatus(greeting, 1);
        ReadReplyContinuation(greeting);
        const int code = ReplyCode(greeting);
        SetReplyNumber(static_cast<std::int16_t>(code));
        if (code > 400) LoginFailed(greeting);
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
                    Transaction("USER " + UserID + "@" + Host);
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
        if (OnConnect) OnConnect(this);
    } catch (...) {
        try {
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

void TFtpClient::ChangeDir(const std::string& directory) { DoCommand("CWD " + directory); }
void TFtpClient::MakeDir(const std::string& directory) { DoCommand("MKD " + directory); }
void TFtpClient::Delete(const std::string& file_name) { DoCommand("DELE " + file_name); }

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

bool TFtpClient::Upload(const std::string& local_path, const std::string& remote_name) {
    bool success = false;
    ClearCancel();
    try {
        const std::string stor_name = remote_name.empty() ? FileNamePart(local_path) : remote_name;
        RefuseUnsafeCommand("STOR " + stor_name);
        CheckConnection();
        std::lock_guard<std::recursive_mutex> lock(upload_lock_);
        // Every exit from here on destroys the data session and releases the lock.
        struct Cleanup {
            std::unique_ptr<TSockSession>& session;
            ~Cleanup() { session.reset(); }
        } cleanup{data_session_};
        if (DataAvailable()) Read(0);
        data_session_ = std::make_unique<TSockSession>();
        TSockSession& data = *data_session_;
        data.TimeOut = TimeOut;
        if (OnPacketSent) data.OnPacketSent = OnPacketSent;

        struct stat st {};
        if (::stat(local_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            throw platform::Error("Cannot open file " + local_path);
        BytesTotal = st.st_size;

        bool refused_handled = false;
        if (Passive) {
            Transaction("PASV");
            if (TransactionReply().empty() || ReplyNumber() > 499) {
                RefusedStep(refused_handled);
                return false;
            }
            const int port = PassivePort(TransactionReply());
            data.Host = Host;
            data.Port = port;
            data.Connect();
        } else {
            data.Port = 0;
            data.Listen(true);
            Transaction("PORT " + LocalAddressForPort() + data.LocalPortForPort());
            if (TransactionReply().empty() || (ReplyNumber() >= 301 && ReplyNumber() <= 599)) {
                RefusedStep(refused_handled);
                return false;
            }
        }
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
        if (OnTransactionStart) OnTransactionStart(this);
        if (!CancelRequested() && !TimedOut()) data.SendFile(local_path);
        if (OnTransactionStop) OnTransactionStop(this);
        data.SetLinger(false);  // a normal close: the server gets every byte sent
        data.CloseSocket();
        if (!CancelRequested() && !TimedOut()) {
            // Preliminary replies (a restart marker, say) come before the one that tells; left
            // unread, that one would be taken for the answer to the next command.
            std::string line;
            do {
                line = ReadLn();
                if (line.empty()) throw FTPException(kConnectionClosedText);
                SetStatus(line, 1);
                if (!CancelRequested() && !TimedOut()) ReadReplyContinuation(line);
            } while (IsPreliminary(ReplyCode(line)) && !CancelRequested() && !TimedOut());
            // Only a 2xx reply says the server has the file.
            if (!IsPositiveCompletion(ReplyCode(line))) throw FTPException(FailureReason(line));
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

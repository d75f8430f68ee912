#include "mail/orb_smtp.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "mail/orb_util.h"
#include "platform/clock.h"
#include "platform/hmac_md5.h"
#include "platform/reply_reader.h"
#include "platform/reply_text.h"
#include "platform/sjis.h"

namespace mail {

namespace {

constexpr std::size_t kMaxReplyLine = 4096;
// A reply that never ends must not grow without bound.
constexpr std::size_t kMaxReplyLines = 512;

// A rendered line must not carry a line break of its own: it would end the data early or put
// commands into the session. Such a line is sent as several lines, dot-stuffed like the body.
std::vector<std::string> SafeDataLines(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    out.reserve(lines.size());
    for (const std::string& line : lines) {
        if (line.find_first_of("\r\n") == std::string::npos) {
            out.push_back(line);
            continue;
        }
        std::size_t start = 0;
        bool first = true;
        while (start <= line.size()) {
            std::size_t brk = line.find_first_of("\r\n", start);
            if (brk == std::string::npos) brk = line.size();
            std::string piece = line.substr(start, brk - start);
            if (!first && !piece.empty() && piece[0] == '.') piece.insert(0, 1, '.');
            out.push_back(std::move(piece));
            first = false;
            if (brk == line.size()) break;
            // CR LF counts as one break.
            start = brk +
                    ((line[brk] == '\r' && brk + 1 < line.size() && line[brk + 1] == '\n') ? 2 : 1);
        }
    }
    return out;
}

// A reply code is three digits; anything else is a reply the session cannot read.
bool IsReplyCode(const std::string& code) {
    return code.size() == 3 &&
           std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The blank-separated words of an upper-cased extension line.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while ((pos = line.find_first_not_of(" \t", pos)) != std::string::npos) {
        const std::size_t end = std::min(line.find_first_of(" \t", pos), line.size());
        words.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

bool Offers(const std::vector<std::string>& extensions, const std::string& keyword) {
    return std::any_of(extensions.begin(), extensions.end(), [&](const std::string& e) {
        const auto words = Words(Upper(e));
        return !words.empty() && words.front() == keyword;
    });
}

}  // namespace

std::string ChooseAuthMechanism(const std::vector<std::string>& extensions) {
    std::vector<std::string> offered;
    for (const std::string& e : extensions) {
        std::string line = Upper(e);
        if (line.rfind("AUTH", 0) != 0 || line.size() < 5 || (line[4] != ' ' && line[4] != '='))
            continue;
        line[4] = ' ';
        const auto words = Words(line);
        offered.insert(offered.end(), words.begin() + 1, words.end());
    }
    for (const char* mechanism : kAuthMechanisms)
        if (std::find(offered.begin(), offered.end(), mechanism) != offered.end()) return mechanism;
    return {};
}

std::string ExtractAddress(std::string text) {
    for (;;) {
        const std::size_t open = text.find('(');
        if (open == std::string::npos) break;
        const std::size_t close = text.find(')');
        if (close == std::string::npos || close < open) break;
        text.erase(open, close - open + 1);
    }
    text = TrimBlanks(text);
    const std::size_t lt = text.find('<');
    const std::size_t gt = text.find('>');
    if (lt != std::string::npos && gt != std::string::npos) {
        text = gt > lt ? text.substr(lt + 1, gt - lt - 1) : std::string();
    }
    return text;
}

std::vector<std::string> SplitAddressList(const std::string& input) {
    std::vector<std::string> result;
    std::string text = TrimBlanks(input);
    if (text.empty()) return result;
    for (;;) {
        const std::size_t first = text.find('"');
        if (first == std::string::npos) break;
        const std::size_t second = text.find('"', first + 1);
        if (second == std::string::npos) {
            text.erase(first, 1);
            break;
        }
        text.erase(first, second - first + 1);
    }
    text = platform::sjis::FoldCase(text);
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = platform::sjis::Find(text, ',', start);
        const std::string piece = ExtractAddress(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!piece.empty()) result.push_back(piece);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return result;
}

bool IsEnvelopeAddress(const std::string& address) {
    return std::none_of(address.begin(), address.end(), [](char ch) {
        const unsigned char c = static_cast<unsigned char>(ch);
        return c <= ' ' || c == 0x7F || c == '<' || c == '>' || c == ',';
    });
}

std::optional<SendProblem> FindSendProblem(const TOrbMsg& message) {
    if (const auto field = FindUnsafeHeader(message))
        return SendProblem{SendProblem::LineBreak, *field};
    if (!IsEnvelopeAddress(ExtractAddress(message.From)))
        return SendProblem{SendProblem::Address, MessageField::From};
    const std::pair<MessageField, const std::string*> lists[] = {
        {MessageField::SendTo, &message.SendTo},
        {MessageField::CC, &message.CC},
        {MessageField::BCC, &message.BCC},
    };
    for (const auto& [field, list] : lists)
        for (const std::string& address : SplitAddressList(*list))
            if (!IsEnvelopeAddress(address)) return SendProblem{SendProblem::Address, field};
    return std::nullopt;
}

std::string SendProblemText(const SendProblem& problem) {
    if (problem.kind == SendProblem::LineBreak)
        return std::string("Line break or NUL in ") + FieldName(problem.field) + ".";
    return std::string("Address in ") + FieldName(problem.field) +
           " holds \"<\", \">\", \",\" or a blank.";
}

// Rendering reaches the component's host name, cancel flag and encode events through this.
class TOrbSMTP::Session : public RenderSession {
public:
    explicit Session(TOrbSMTP& owner) : owner_(owner) {}
    std::string LocalHostName() override { return owner_.socket_.LocalHostName(); }
    bool AbortRequested() override { return owner_.AbortRequested; }
    unsigned EncodeProgressStep() override { return owner_.EncodeProgressStep; }
    void EncodeStart(const std::string& name, std::uint64_t bytes) override {
        owner_.last_encode_percent_ = 0;
        if (owner_.OnEncodeStart) {
            owner_.OnEncodeStart(&owner_, name, static_cast<std::int64_t>(bytes));
        }
    }
    void EncodeProgress(unsigned percent) override {
        owner_.last_encode_percent_ = static_cast<std::uint16_t>(percent);
        if (owner_.OnEncodeProgress) {
            owner_.OnEncodeProgress(&owner_, static_cast<std::uint16_t>(percent));
        }
    }
    void EncodeEnd() override {
        if (owner_.OnEncodeEnd) owner_.OnEncodeEnd(&owner_);
    }
    void PumpEvents() override { RunPendingEvents(); }

private:
    TOrbSMTP& owner_;
};

TOrbSMTP::TOrbSMTP() : socket_(20) {
    socket_.OnConnectNotify = [this](TMailSocket* s) {
        Connected = true;
        if (OnConnect) OnConnect(s);
    };
    socket_.OnDisconnectNotify = [this](TMailSocket* s) {
        Connected = false;
        if (OnQuit) OnQuit(s);
    };
}

TOrbSMTP::~TOrbSMTP() {
    socket_.OnConnectNotify = nullptr;
    socket_.OnDisconnectNotify = nullptr;
}

bool TOrbSMTP::NextReplyLine(std::string& line) {
    for (;;) {
        const std::size_t lf = pending_.rfind('\n');
        if (lf != std::string::npos) {
            // Only the last complete line of what has arrived counts.
            const std::size_t prev = lf == 0 ? std::string::npos : pending_.rfind('\n', lf - 1);
            const std::size_t begin = prev == std::string::npos ? 0 : prev + 1;
            line = pending_.substr(begin, lf - begin);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, lf + 1);
            return true;
        }
        if (pending_.size() >= kMaxReplyLine) {
            line.swap(pending_);
            pending_.clear();
            return true;
        }
        if (!socket_.AwaitData(IdleLimitMs)) return false;
        const std::string chunk = socket_.Read();
        if (chunk.empty() && socket_.PeerClosed()) return false;
        pending_ += chunk;
    }
}

void TOrbSMTP::ServerGone() {
    // Answer for the server, so every caller ends through its error path.
    server_gone_ = true;
    ReplyCode = kClosedReplyCode;
    ReplyLine.clear();
    ReplyText = socket_.Silent() ? kSilentReplyText : kClosedReplyText;
    RunPendingEvents();
}

void TOrbSMTP::TakeReplyLine(const std::string& line) {
    ReplyLine = line;
    ReplyCode = TrimBlanks(line.substr(0, 3));
    ReplyText = line.size() > 3 ? TrimBlanks(line.substr(3, 64)) : std::string();
}

bool TOrbSMTP::NextLine(std::string& line) {
    for (;;) {
        const std::size_t lf = pending_.find('\n');
        if (lf != std::string::npos || pending_.size() >= kMaxReplyLine) {
            const std::size_t end = lf == std::string::npos ? kMaxReplyLine : lf;
            line = pending_.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, lf == std::string::npos ? end : end + 1);
            return true;
        }
        if (!socket_.AwaitData(IdleLimitMs)) return false;
        const std::string chunk = socket_.Read();
        if (chunk.empty() && socket_.PeerClosed()) return false;
        pending_ += chunk;
    }
}

void TOrbSMTP::ReadWholeReply(std::vector<std::string>* lines) {
    server_gone_ = false;
    platform::ReplyParser parser(platform::ReplyStyle::Coded);
    for (std::size_t count = 1;; ++count) {
        std::string line;
        if (!NextLine(line)) {
            ServerGone();
            return;
        }
        if (count > kMaxReplyLines) {
            ReplyCode.clear();
            ReplyText.clear();
            ReplyLine = "(more than " + std::to_string(kMaxReplyLines) + " lines)";
            break;
        }
        TakeReplyLine(line);
        if (lines) lines->push_back(line);
        if (parser.Feed(line)) break;
    }
    RunPendingEvents();
}

void TOrbSMTP::Command(const std::string& command, std::vector<std::string>* lines) {
    Send(command + "\r\n");
    ReadWholeReply(lines);
}

void TOrbSMTP::ReadReply() {
    server_gone_ = false;
    for (;;) {
        std::string line;
        if (!NextReplyLine(line)) {
            ServerGone();
            return;
        }
        TakeReplyLine(line);
        RunPendingEvents();
        // "250 text" or a bare "250" ends the reply; "250-text" continues it.
        if (line.size() == 3 || (line.size() >= 4 && line[3] == ' ')) return;
    }
}

void TOrbSMTP::Send(const std::string& text) {
    try {
        socket_.SendText(text);
    } catch (...) {
        // The failure reaches the caller; the session is over either way.
        CloseSocket();
        throw;
    }
}

void TOrbSMTP::Expect(const std::string& command) {
    Send(command + "\r\n");
    ReadReply();
}

void TOrbSMTP::Connect() {
    ErrorFlag = false;
    Failure = TSmtpFailure::None;
    Extensions.clear();
    AuthMechanism.clear();
    pending_.clear();
    if (Authenticate) {
        RequireSingleLine(UserId, "SMTP user name");
        RequireSingleLine(Password, "SMTP password");
    }
    try {
        socket_.Open(Host, PortNumber(Port, 25));
    } catch (const EMailSocketError&) {
        ErrorFlag = true;
        return;
    }
    while (!Connected) {
        if (!socket_.IsOpen()) return;
        RunPendingEvents();
    }
    try {
        if (Security == TMailSecurity::Implicit) StartTls();
        ReadReply();
        while (ReplyCode != "220" && ReplyCode != "421") {
            RunPendingEvents();
            if (!Connected) return;
            ReadReply();
        }
        if (ReplyCode == "421") {
            ErrorFlag = true;
            ErrorRoutine();
            return;
        }
        if (!Submission()) {
            Expect("HELO " + socket_.LocalHostName());
            if (ReplyCode != "250") {
                ErrorFlag = true;
                ErrorRoutine();
            }
        } else {
            ExtendedSession();
        }
    } catch (const platform::NetError&) {
        ErrorFlag = true;
        pending_.clear();
        throw;
    }
    AbortRequested = false;
}

bool TOrbSMTP::Submission() const { return Security != TMailSecurity::None || Authenticate; }

void TOrbSMTP::ExtendedSession() {
    if (!Introduce(false)) return;
    if (Security == TMailSecurity::StartTls) {
        if (!Offers(Extensions, "STARTTLS")) {
            Fail(TSmtpFailure::NoStartTls, "STARTTLS not offered by server");
            return;
        }
        Command("STARTTLS");
        if (ReplyCode != "220") {
            Fail(TSmtpFailure::StartTlsRefused);
            return;
        }
        StartTls();
        if (!Introduce(true)) return;
    }
    if (Authenticate) Login();
}

bool TOrbSMTP::Introduce(bool afterTls) {
    const std::string host = socket_.LocalHostName();
    std::vector<std::string> lines;
    Command("EHLO " + host, &lines);
    if (ReplyCode == "250") {
        // Every line after the first names one extension.
        Extensions.clear();
        for (std::size_t i = 1; i < lines.size(); ++i)
            Extensions.push_back(lines[i].size() > 4 ? lines[i].substr(4) : std::string());
        return true;
    }
    // An unreadable answer is no refusal of EHLO.
    if (afterTls || !IsReplyCode(ReplyCode)) {
        ErrorRoutine();
        return false;
    }
    // An old server: HELO does when TLS is already on (or not wanted) and no log-in is needed.
    if (Security != TMailSecurity::StartTls && !Authenticate && !server_gone_) {
        Expect("HELO " + host);
        if (ReplyCode == "250") return true;
        ErrorRoutine();
        return false;
    }
    Fail(Security == TMailSecurity::StartTls ? TSmtpFailure::NoStartTls : TSmtpFailure::NoAuth);
    return false;
}

bool TOrbSMTP::Login() {
    const std::string mechanism = ChooseAuthMechanism(Extensions);
    if (mechanism.empty()) {
        Fail(TSmtpFailure::NoAuth, "No AUTH mechanism offered by server (PLAIN, LOGIN, CRAM-MD5)");
        return false;
    }
    AuthMechanism = mechanism;
    if (mechanism == "PLAIN") {
        Command("AUTH PLAIN " + EncodeBase64(std::string(1, '\0') + UserId + '\0' + Password));
    } else if (mechanism == "LOGIN") {
        Command("AUTH LOGIN");
        if (ReplyCode == "334") Command(EncodeBase64(UserId));
        if (ReplyCode == "334") Command(EncodeBase64(Password));
    } else {
        Command("AUTH CRAM-MD5");
        if (ReplyCode == "334") {
            const std::string challenge =
                DecodeBase64(ReplyLine.size() > 4 ? ReplyLine.substr(4) : std::string());
            Command(EncodeBase64(UserId + " " + platform::HmacMd5Hex(Password, challenge)));
        }
    }
    if (ReplyCode == "235") return true;
    Fail(TSmtpFailure::AuthRefused);
    return false;
}

void TOrbSMTP::StartTls() {
    pending_.clear();
    socket_.StartTls(platform::TlsOptions{Host, TrustedFingerprint});
}

void TOrbSMTP::Fail(TSmtpFailure failure, const char* text) {
    // A server that went away refused nothing: its closing is the reason.
    if (!server_gone_) Failure = failure;
    ErrorRoutine(server_gone_ ? nullptr : text);
}

bool TOrbSMTP::SendMessage(TOrbMsg& message) {
    if (!Connected) throw ESmtpError("Not connected.");
    if (message.From.empty()) throw ESmtpError("\"From\" field not specified.");
    if (message.SendTo.empty()) throw ESmtpError("\"SendTo\" field not specified.");
    if (const auto problem = FindSendProblem(message))
        throw EMailArgumentError(SendProblemText(*problem));

    message.Date = FormatMailDate(platform::LocalNow());
    Session session(*this);
    const auto rendered = RenderMessage(session, message);
    if (!rendered || AbortRequested) return false;
    const std::vector<std::string> lines = SafeDataLines(*rendered);

    if (OnBeforeSend) OnBeforeSend(this);
    last_send_percent_ = 0;
    const std::string sender = ExtractAddress(message.From);
    const std::vector<std::string> lists[] = {SplitAddressList(message.SendTo),
                                              SplitAddressList(message.CC),
                                              SplitAddressList(message.BCC)};
    for (const auto& recipients : lists) {
        if (Transaction(sender, recipients, lines) <= 0) {
            ErrorRoutine();
            break;
        }
    }
    if (last_send_percent_ < 100 && OnSendProgress) OnSendProgress(this, 100);
    if (OnAfterSend) OnAfterSend(this);
    return true;
}

int TOrbSMTP::Transaction(const std::string& sender, const std::vector<std::string>& recipients,
                          const std::vector<std::string>& lines) {
    if (recipients.empty()) return 1;
    Expect("MAIL FROM:<" + sender + ">");
    ErrorFlag = ReplyCode != "250";
    if (ErrorFlag) return -1;
    for (const std::string& recipient : recipients) {
        Expect("RCPT TO:<" + recipient + ">");
        ErrorFlag = ReplyCode != "250";
        if (ErrorFlag) return -2;
    }
    Expect("DATA");
    ErrorFlag = ReplyCode != "354";
    if (ErrorFlag) return -3;

    unsigned threshold = SendProgressStep;
    const std::size_t n = lines.size();
    for (std::size_t i = 1; i <= n; ++i) {
        Send(lines[i - 1] + "\r\n");
        const std::uint16_t percent = RoundedPercent(i, n);
        last_send_percent_ = percent;
        if (percent >= threshold) {
            if (OnSendProgress) OnSendProgress(this, percent);
            threshold += SendProgressStep;
        }
        RunPendingEvents();
        if (AbortRequested) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Expect("\r\n.");
    ErrorFlag = ReplyCode != "250";
    if (ErrorFlag) return -4;
    if (OnSendProgress) OnSendProgress(this, 100);
    return 1;
}

void TOrbSMTP::CloseSocket() {
    pending_.clear();
    socket_.Close();
    Connected = false;
}

void TOrbSMTP::ErrorRoutine(const char* text) {
    ErrorFlag = true;
    CloseSocket();
    if (!OnError) return;
    if (text)
        OnError(this, 0, text);
    else if (IsReplyCode(ReplyCode))
        OnError(this, std::stoi(ReplyCode), ReplyText);
    else
        OnError(this, 0, platform::UnreadableReplyText(ReplyLine));
}

void TOrbSMTP::Quit() {
    if (!Connected || !socket_.IsOpen()) return;
    if (!AbortRequested) {
        Expect("QUIT");
        ErrorFlag = ReplyCode != "221";
        if (ErrorFlag) {
            ErrorRoutine();
            return;
        }
    }
    CloseSocket();
}

}  // namespace mail

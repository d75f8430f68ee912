#include "mail/orb_pop.h"

#include <algorithm>

#include "mail/msg_parse.h"

namespace mail {

namespace {

constexpr std::size_t kMaxStatusLine = 4096;
// A server that never sends the end mark must not take all memory.
constexpr std::size_t kMaxMessageBytes = std::size_t{512} << 20;
constexpr std::string_view kEndMark = "\r\n.\r\n";

// The index-th blank-separated word of the text read as a number; -1 when missing or not one.
long long NumberWord(const std::string& text, int index) {
    std::size_t pos = 0;
    for (int i = 0;; ++i) {
        pos = text.find_first_not_of(" \t", pos);
        if (pos == std::string::npos) return -1;
        const std::size_t end = std::min(text.find_first_of(" \t", pos), text.size());
        if (i == index) {
            long long value = 0;
            if (end == pos) return -1;
            for (std::size_t k = pos; k < end; ++k) {
                if (text[k] < '0' || text[k] > '9') return -1;
                value = value * 10 + (text[k] - '0');
                if (value > 1'000'000'000'000LL) return -1;
            }
            return value;
        }
        pos = end;
    }
}

// Lines of the retrieved data, split at CR LF, LF or CR.
Lines LoadLines(const std::string& data) { return SplitTextLines(data); }

}  // namespace

TOrbPOP::TOrbPOP() : socket_(100) {
    socket_.OnConnectNotify = [this](TMailSocket* s) {
        Connected = true;
        if (OnConnect) OnConnect(s);
    };
    socket_.OnDisconnectNotify = [this](TMailSocket* s) {
        Connected = false;
        if (OnQuit) OnQuit(s);
    };
}

TOrbPOP::~TOrbPOP() {
    socket_.OnConnectNotify = nullptr;
    socket_.OnDisconnectNotify = nullptr;
}

bool TOrbPOP::ReadChunk(std::string& chunk) {
    chunk.clear();
    while (chunk.empty()) {
        if (!socket_.AwaitData(IdleLimitMs)) return false;
        chunk = socket_.Read();
        if (chunk.empty() && socket_.PeerClosed()) return false;
    }
    return true;
}

std::string TOrbPOP::ReadStatus() {
    // A status line split over reads is read whole.
    std::string t;
    std::string chunk;
    bool closed = false;
    while (t.find('\n') == std::string::npos && t.size() < kMaxStatusLine) {
        if (!ReadChunk(chunk)) {
            closed = true;
            break;
        }
        t += chunk;
    }
    if (closed && t.find('\n') == std::string::npos) {
        // The server is gone: answer for it, so the caller ends through its error path.
        StatusWord = "-ERR";
        StatusText = socket_.Silent() ? kSilentStatusText : kClosedStatusText;
        ErrorFlag = true;
        return t;
    }
    StatusWord = TrimBlanks(t.substr(0, 4));
    std::size_t end = t.find("\r\n");
    if (end == std::string::npos) end = t.find('\n');
    StatusText = t.size() > 4 ? TrimBlanks(t.substr(4, end == std::string::npos ? end : end - 4))
                              : std::string();
    ErrorFlag = StatusWord == "-ERR";
    return t;
}

void TOrbPOP::Command(const std::string& command) {
    try {
        socket_.SendText(command + "\r\n");
    } catch (...) {
        CloseSocket();
        throw;
    }
}

void TOrbPOP::Connect() {
    DeletedNumbers.clear();
    MessageCount = 0;
    ErrorFlag = false;
    try {
        socket_.Open(Host, PortNumber(Port, 110));
    } catch (const EMailSocketError&) {
        ErrorFlag = true;
        return;
    }
    if (!Connected) return;
    try {
        if (Security == TMailSecurity::Implicit) StartTls();
        ReadStatus();
        LoggedIn = false;
        AbortRequested = false;
        if (StatusWord == "-ERR") {
            ErrorRoutine(kGreetingRefused);
            return;
        }
        if (Security == TMailSecurity::StartTls) {
            Command("STLS");
            ReadStatus();
            if (ErrorFlag) {
                ErrorRoutine(kStlsRefused);
                return;
            }
            StartTls();
        }
    } catch (const platform::NetError&) {
        ErrorFlag = true;
        Connected = false;
        throw;
    }
}

void TOrbPOP::StartTls() { socket_.StartTls(platform::TlsOptions{Host, TrustedFingerprint}); }

bool TOrbPOP::Login() {
    if (!Connected) throw EPopError("Invalid Op. Not connected.");
    RequireSingleLine(UserId, "user name");
    RequireSingleLine(Passwd, "password");
    Command("USER " + UserId);
    ReadStatus();
    if (!ErrorFlag) {
        Command("PASS " + Passwd);
        ReadStatus();
        if (!ErrorFlag) {
            LoggedIn = true;
            return true;
        }
    }
    ErrorRoutine(kLoginRefused);
    return false;
}

std::uint16_t TOrbPOP::CountNewMessages() {
    if (!Connected) throw EPopError("Not connected.");
    Command("STAT");
    ReadStatus();
    if (ErrorFlag) {
        ErrorRoutine(kStatRefused);
        return 0;
    }
    const long long count = NumberWord(StatusText, 0);
    MessageCount = static_cast<std::uint16_t>(std::clamp<long long>(count, 0, 65535));
    Command("LAST");
    ReadStatus();
    if (ErrorFlag) {
        LastSucceeded = false;
        return 0;
    }
    LastSucceeded = true;
    const long long seen = std::max<long long>(NumberWord(StatusText, 0), 0);
    return static_cast<std::uint16_t>(std::max<long long>(MessageCount - seen, 0));
}

TOrbMsg* TOrbPOP::RetrieveMessage(int number) { return Retrieve(number, true); }

TOrbMsg* TOrbPOP::RetrieveHeader(int number) { return Retrieve(number, false); }

bool TOrbPOP::ReadMessage(int number, bool with_body, std::string* keep, long long& size) {
    if (!Connected) throw EPopError("Not connected.");
    if (OnBeforeRetrieve) OnBeforeRetrieve(this, number);
    const std::string n = std::to_string(number);
    Command("LIST " + n);
    ReadStatus();
    const long long listed = NumberWord(StatusText, 1);
    size = listed < 0 ? 100 : listed;
    const long long divisor = size > 0 ? size : 100;

    Command(with_body ? "RETR " + n : "TOP " + n + " 0");
    std::string data = ReadStatus();
    if (ErrorFlag) {
        ErrorRoutine(kRetrieveRefused);
        return false;
    }
    unsigned threshold = RetrieveProgressStep;
    last_retrieve_percent_ = 0;
    std::uint64_t total = data.size();
    std::size_t search_from = 0;
    std::size_t mark;
    std::string chunk;
    while ((mark = data.find(kEndMark, search_from)) == std::string::npos) {
        RunPendingEvents();
        if (AbortRequested) return false;
        // The end mark may straddle two reads: search again from the last 4 bytes kept.
        if (keep) {
            search_from = data.size() >= 4 ? data.size() - 4 : 0;
        } else {
            data.erase(0, data.size() >= 4 ? data.size() - 4 : 0);
            search_from = 0;
        }
        if (data.size() > kMaxMessageBytes) {
            StatusWord = "-ERR";
            StatusText = "Message too large";
            ErrorRoutine(kRetrieveRefused);
            return false;
        }
        if (!ReadChunk(chunk)) {
            StatusWord = "-ERR";
            StatusText = socket_.Silent() ? kSilentStatusText : kClosedStatusText;
            ErrorRoutine(kRetrieveRefused);
            return false;
        }
        data += chunk;
        total += chunk.size();
        const std::uint16_t percent = RoundedPercent(total, static_cast<std::uint64_t>(divisor));
        last_retrieve_percent_ = percent;
        if (percent >= threshold) {
            if (OnRetrieveProgress) OnRetrieveProgress(this, percent);
            threshold += RetrieveProgressStep == 0 ? 1 : RetrieveProgressStep;
        }
    }
    if (last_retrieve_percent_ < 100 && OnRetrieveProgress) OnRetrieveProgress(this, 100);
    if (keep) {
        data.resize(mark + kEndMark.size());
        *keep = std::move(data);
    }
    return true;
}

TOrbMsg* TOrbPOP::Retrieve(int number, bool with_body) {
    std::string data;
    long long size = 0;
    if (!ReadMessage(number, with_body, &data, size)) return nullptr;

    Lines lines = LoadLines(data);
    if (!lines.empty()) lines.erase(lines.begin());  // status line
    if (!lines.empty()) lines.pop_back();            // the terminating "."
    for (std::string& line : lines) {
        if (line.size() > 1 && line[0] == '.') line.erase(0, 1);
    }

    auto message = std::make_unique<TOrbMsg>();
    message->Size = size;
    ParseOptions options;
    options.FormatErrorText = ErrorInFormatOfMsg;
    options.DecodeProgressStep = DecodeProgressStep;
    options.OnDecodeStart = [this](const std::string& name, std::int64_t count) {
        last_decode_percent_ = 0;
        if (OnDecodeStart) OnDecodeStart(this, name, count);
    };
    options.OnDecodeProgress = [this](std::uint16_t percent) {
        last_decode_percent_ = percent;
        if (OnDecodeProgress) OnDecodeProgress(this, percent);
    };
    options.OnDecodeEnd = [this] {
        if (OnDecodeEnd) OnDecodeEnd(this);
    };
    ParseReceivedMessage(lines, *message, with_body, options);
    TOrbMsg* result = message.get();
    (in_retrieve_all_ ? batch_ : owned_).push_back(std::move(message));
    if (OnAfterRetrieve) OnAfterRetrieve(this);
    return result;
}

int TOrbPOP::RetrieveAll(TOrbMsgList& list, bool headers_only) {
    list.Clear();
    // Each POP-before-SMTP run fetches the whole mailbox again: drop the previous run's copy.
    batch_.clear();
    int count = 0;
    in_retrieve_all_ = true;
    try {
        for (int number = 1; number <= MessageCount; ++number) {
            const std::string key = std::to_string(number);
            if (std::find(DeletedNumbers.begin(), DeletedNumbers.end(), key) !=
                DeletedNumbers.end()) {
                continue;
            }
            TOrbMsg* message = headers_only ? RetrieveHeader(number) : RetrieveMessage(number);
            RunPendingEvents();
            if (AbortRequested) break;
            list.Add(message);
            ++count;
        }
    } catch (...) {
        in_retrieve_all_ = false;
        throw;
    }
    in_retrieve_all_ = false;
    return count;
}

int TOrbPOP::RetrieveAndDiscardAll() {
    int count = 0;
    for (int number = 1; number <= MessageCount; ++number) {
        const std::string key = std::to_string(number);
        if (std::find(DeletedNumbers.begin(), DeletedNumbers.end(), key) != DeletedNumbers.end())
            continue;
        long long size = 0;
        const bool read = ReadMessage(number, true, nullptr, size);
        if (read && OnAfterRetrieve) OnAfterRetrieve(this);
        RunPendingEvents();
        if (AbortRequested) break;
        ++count;
    }
    return count;
}

void TOrbPOP::Quit() {
    if (!Connected) return;
    Command("QUIT");
    ReadStatus();
    if (StatusWord == "-ERR") {
        ErrorRoutine(kQuitRefused);
        return;
    }
    DeletedNumbers.clear();
    CloseSocket();
}

void TOrbPOP::CloseSocket() {
    socket_.Close();
    Connected = false;
}

void TOrbPOP::ErrorRoutine(int code) {
    ErrorFlag = true;
    DeletedNumbers.clear();
    CloseSocket();
    if (OnError) OnError(this, code, StatusText);
}

}  // namespace mail

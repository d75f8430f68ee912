#include "app/send_job.h"

#include <ctime>

#include "app/error_log.h"
#include "app/ftp_connection.h"
#include "app/main_screen.h"
#include "app/refusal.h"
#include "app/remote_path.h"
#include "app/send_log.h"
#include "platform/connection.h"
#include "platform/data_dir.h"
#include "platform/one_line.h"
#include "platform/screen_text.h"
#include "platform/sjis.h"
#include "platform/texts.h"

namespace app {

namespace {

// The non-empty segments of a remote path, in order (separators are whole characters only).
std::vector<std::string> PathSegments(const std::string& path) {
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = platform::sjis::Find(path, '/', start);
        if (slash == platform::sjis::npos) slash = path.size();
        if (slash > start) segments.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return segments;
}

// The reason of a failure as one error-log line.
std::string OneLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

// Where the FTP side connects: the server fields may carry ":port" ("[v6]:port"); without one
// the profile's FTP port and the environment's proxy port hold.
struct FtpAddress {
    std::string host;
    int port = 21;
    std::string proxyHost;
    int proxyPort = 0;
    bool hostOk = true;
    bool proxyOk = true;
};

FtpAddress AddressOf(const std::string& ftpHost, int ftpPort,
                     const settings::TEnvironmentSettings& env) {
    FtpAddress a;
    a.port = ftpPort;
    a.hostOk = platform::SplitHostPort(ftpHost, a.host, a.port);
    a.proxyPort = env.EffectiveProxyPort();
    a.proxyOk = platform::SplitHostPort(env.EffectiveProxyHost(), a.proxyHost, a.proxyPort);
    return a;
}

}  // namespace

std::string ProgressText(const std::string& fileName, std::int64_t sent, std::int64_t total) {
    const auto& t = platform::texts();
    return fileName + t.ProgressMiddle + std::to_string(sent) + t.ProgressSlash +
           std::to_string(total) + t.ProgressEnd;
}

std::string SendConfirmation(const std::string& fileName, const std::string& recipientName) {
    const auto& t = platform::texts();
    return "\r" + t.ConfirmOpen + fileName + t.ConfirmClose + "\r" + recipientName +
           t.ConfirmRecipient + "\r" + t.ConfirmQuestion;
}

SendJob::SendJob(MainScreen& screen) : screen_(screen), dispatch_(screen) {
    progress_.SetEnabled(false);
    progress_.SetInterval(1000);
    progress_.SetOnTimer([this](ftp::TThreadTimer*) { ProgressTick(); });

    ftp_.OnConnect = [this](ftp::TSockSession*) { uploadOutcome_ = UploadStep(); };
    ftp_.OnSuccess = [this](ftp::TSockSession*, ftp::TCmdType code) { OnSuccess(code); };
    ftp_.OnFailure = [this](ftp::TSockSession*, bool&, ftp::TCmdType code) { OnFailure(code); };
    ftp_.OnError = [this](ftp::TSockSession*, std::uint16_t, const std::string& message) {
        ErrorLog(message);
    };
    // The screen stays inactive until the whole job (mail phase included) has ended.
    ftp_.OnDisconnect = [this](ftp::TSockSession*) {
        screen_.View().SetStatus(platform::texts().StatusConnectionClosed);
    };
}

SendJob::~SendJob() { progress_.SetEnabled(false); }

void SendJob::ErrorLog(const std::string& message) {
    ++errorLines_;
    try {
        AppendErrorLog(screen_.DataDir(), message);
    } catch (const platform::Error& e) {
        screen_.View().ShowMessage(MainScreen::ErrorText(e));
    }
}

void SendJob::StopProgress() { progress_.SetEnabled(false); }

void SendJob::ProgressTick() {
    const std::int64_t total = ftp_.BytesTotal;
    const std::int64_t sent = ftp_.BytesSent();
    MainView& view = screen_.View();
    view.SetStatus(ProgressText(screen_.State().FileName, sent, total));
    view.SetProgress(total > 0 ? static_cast<int>(sent * 100 / total) : 0);
}

// The FTP events only report; whether the file was sent is decided by RunUpload's outcome.
void SendJob::OnSuccess(ftp::TCmdType code) {
    if (code == ftp::TransUpload) {
        StopProgress();
        screen_.View().SetProgress(100);
        screen_.View().SetStatus(platform::texts().StatusSendDone);
        return;
    }
    const std::string& text = ftp::TextsOf(code).send_success;
    if (code <= ftp::TransDoCommand && !text.empty()) screen_.View().SetStatus(text);
}

void SendJob::OnFailure(ftp::TCmdType code) {
    if (code < ftp::TransMakeDir || code > ftp::TransDoCommand) return;
    const std::string& text = ftp::TextsOf(code).send_failure;
    if (text.empty()) return;
    screen_.View().SetStatus(text);
    ErrorLog(text);
}

void SendJob::StartSend() {
    if (running_) return;
    running_ = true;
    struct Finish {
        SendJob& job;
        ~Finish() {
            job.running_ = false;
            job.screen_.View().SetScreenEnabled(true);
        }
    } finish{*this};

    const auto& t = platform::texts();
    MainView& view = screen_.View();
    TSendState& state = screen_.State();
    view.SetScreenEnabled(false);
    state.DirectoryText = view.DirectoryText();

    if (!state.ResendMode) {
        // The field holds the Shift_JIS form of the path; the file system wants UTF-8.
        const auto path = platform::TrySjisToUtf8(view.FileText());
        std::error_code ec;
        if (!path || view.FileText().empty() ||
            !std::filesystem::is_regular_file(std::filesystem::path(*path), ec)) {
            view.ShowMessage(t.CheckSendFile);
            return;
        }
    }
    const int index = view.RecipientIndex();
    const auto& addresses = screen_.Addresses();
    if (addresses.empty() || index < 0 || static_cast<std::size_t>(index) >= addresses.size()) {
        view.ShowMessage(t.RegisterAddressFirst + "\r\n" + t.RegisterAddressThenSend);
        return;
    }
    const std::string addressLine = addresses.Lines().at(static_cast<std::size_t>(index));
    const std::size_t comma = platform::sjis::Find(addressLine, ',');
    state.RecipientName =
        comma == platform::sjis::npos ? addressLine : addressLine.substr(0, comma);

    // Values the clients would refuse stop the job before the question, so neither half of a
    // send goes out without the other.
    std::string refusal = state.ResendMode ? std::string() : UploadRefusal();
    if (refusal.empty()) refusal = dispatch_.Refusal(addressLine);
    if (!refusal.empty()) {
        view.ShowMessage(refusal);
        return;
    }

    if (!view.AskYesNo(SendConfirmation(state.FileName, state.RecipientName))) return;

    if (!state.ResendMode) {
        view.SetStatus(t.StatusConnecting);
        // No dial-up networking here: the unattended connection request has nothing to do.
        const settings::TSenderProfile& profile = state.CurrentProfile;
        const settings::TConnectionSettings connection =
            screen_.Connections().ForProfile(profile.Name);
        const FtpAddress address =
            AddressOf(profile.FtpHost, connection.FtpPort, screen_.Environment());
        ftp_.Proxy = address.proxyHost;
        ftp_.ProxyPort = address.proxyPort;
        ftp_.Host = address.host;
        ftp_.Port = address.port;
        ftp_.TimeOut = 20000;
        ftp_.UserID = profile.FtpUserId;
        ftp_.Password = profile.FtpPassword;
        SetFtpConnection(ftp_, connection.FtpSecurity, connection.FtpNames,
                         connection.FtpFingerprint, screen_.Connections().Passive());
        ftpNames_ = connection.FtpNames;
        ftp_.FirewallType = ftp::FTUser;
        ftp_.FWAuthenticate = false;
        ftp_.ReportLevel = 0;
        // The one place that decides whether the file was sent.
        state.TransferOk = RunUpload() == UploadOutcome::Stored;
    }

    if (state.TransferOk) {
        if (dispatch_.SendNotification(addressLine) == DispatchOutcome::Aborted) return;
        state.ResendMode = true;
        state.TransferOk = true;
    }
}

UploadOutcome SendJob::RunUpload() {
    const std::size_t linesBefore = errorLines_;
    uploadOutcome_ = UploadOutcome::LogInFailed;
    uploadFailure_.clear();
    std::string tlsReason;
    try {
        ConnectTrusting(
            [this] { ftp_.Connect(); }, ftp_.Host,
            [this](const CertificateQuestion& q) { return screen_.View().AskTrustCertificate(q); },
            [this](const std::string& fingerprint) { TrustCertificate(fingerprint); });
    } catch (const platform::Error& e) {
        uploadFailure_ = e.what();
        if (const auto* net = dynamic_cast<const platform::NetError*>(&e))
            tlsReason = TlsFailureText(*net, ftp_.Host);
        try {
            ftp_.Disconnect();
        } catch (const platform::Error&) {
        }
    }
    if (uploadOutcome_ == UploadOutcome::LogInFailed) {
        const std::string& failed = platform::texts().FtpConnectFailed;
        screen_.View().ShowMessage(tlsReason.empty() ? failed : failed + "\r\n" + tlsReason);
    }
    // Every failed upload leaves a line in the error log, also when no event wrote one (a
    // server that closed the connection, a refused argument).
    if (uploadOutcome_ != UploadOutcome::Stored && errorLines_ == linesBefore)
        ErrorLog("FTP failure: " + OneLine(uploadFailure_));
    return uploadOutcome_;
}

void SendJob::TrustCertificate(const std::string& fingerprint) {
    ftp_.TrustedFingerprint = fingerprint;
    const std::string& name = screen_.State().CurrentProfile.Name;
    settings::TConnectionSettings connection = screen_.Connections().ForProfile(name);
    connection.FtpFingerprint = fingerprint;
    screen_.Connections().SetProfile(name, connection);
}

std::string SendJob::UploadRefusal() {
    const auto& t = platform::texts();
    const TSendState& state = screen_.State();
    const settings::TSenderProfile& profile = state.CurrentProfile;
    const settings::TConnectionSettings connection = screen_.Connections().ForProfile(profile.Name);
    const FtpAddress address =
        AddressOf(profile.FtpHost, connection.FtpPort, screen_.Environment());
    if (!address.hostOk) return RefusalMessage(t.FtpHostLabel, RefusalReason::Port);
    if (!address.proxyOk) return RefusalMessage(t.ProxyAddressLabel, RefusalReason::Port);
    // The record of a send that did not connect as always keeps its connection beside it,
    // keyed by the whole record; a TAB there would split that entry.
    if (connection.FtpSecurity != settings::TSecurity::None ||
        connection.FtpNames != settings::TNameRule::ShiftJis) {
        const std::pair<const std::string*, const std::string*> logged[] = {
            {&t.FileLabel, &state.FileName},
            {&t.DirectoryLabel, &state.DirectoryText},
            {&t.RecipientLabel, &state.RecipientName},
            {&t.HostStartFolderLabel, &profile.HostStartFolder},
            {&t.FtpUserIdLabel, &profile.FtpUserId},
            {&t.FtpHostLabel, &profile.FtpHost},
            {&t.ProxyAddressLabel, &address.proxyHost}};
        for (const auto& [label, value] : logged)
            if (value->find('\t') != std::string::npos)
                return RefusalMessage(*label, RefusalReason::ControlCharacter);
    }
    // Each value with the command line it goes out in (CWD is as long as MKD).
    std::vector<std::pair<const std::string*, std::string>> lines = {
        {&t.FtpUserIdLabel, "USER " + profile.FtpUserId}};
    if (!address.proxyHost.empty())
        lines.push_back(
            {&t.FtpHostLabel,
             "USER " + ftp::ProxyUserName(profile.FtpUserId, address.host, address.port)});
    lines.push_back({&t.PasswordLabel, "PASS " + profile.FtpPassword});
    for (const std::string& segment : PathSegments(NormalizeRemotePath(profile.HostStartFolder)))
        lines.push_back({&t.HostStartFolderLabel, "CWD " + segment});
    if (!state.DirectoryText.empty()) {
        for (const std::string& segment : PathSegments(NormalizeRemotePath(state.DirectoryText)))
            lines.push_back({&t.DirectoryLabel, "CWD " + segment});
    }
    lines.push_back({&t.FileLabel, "STOR " + state.FileName});
    // Values that reach only the log record must not break its line either (a hand-edited
    // Adress.dat may hold a NUL in a name).
    const std::string proxyHost = screen_.Environment().EffectiveProxyHost();
    for (const auto& [label, value] : {std::pair{&t.RecipientLabel, &state.RecipientName},
                                       std::pair{&t.FtpHostLabel, &profile.FtpHost},
                                       std::pair{&t.ProxyAddressLabel, &proxyHost}}) {
        if (platform::HasLineBreakOrNul(*value))
            return RefusalMessage(*label, RefusalReason::ControlCharacter);
    }
    for (const auto& [label, line] : lines) {
        switch (ftp::CheckCommand(line)) {
            case ftp::CommandFault::None:
                break;
            case ftp::CommandFault::TooLong:
                return RefusalMessage(*label, RefusalReason::TooLong);
            case ftp::CommandFault::LineBreak:
            case ftp::CommandFault::Nul:
                return RefusalMessage(*label, RefusalReason::ControlCharacter);
        }
    }
    return {};
}

UploadOutcome SendJob::UploadStep() {
    const auto& t = platform::texts();
    MainView& view = screen_.View();
    TSendState& state = screen_.State();
    view.SetStatus(t.StatusTransferring);
    try {
        ChangeToRemoteDirectory(NormalizeRemotePath(state.CurrentProfile.HostStartFolder));
        if (!state.DirectoryText.empty()) {
            const std::string p = NormalizeRemotePath(state.DirectoryText).substr(1);
            if (!p.empty()) ChangeToRemoteDirectory(p);
        }
        progress_.SetInterval(1000);
        progress_.SetEnabled(true);
        ftp_.Mode(ftp::TransferImage);
        // False only for a failure a handler swallowed: still no file on the server.
        if (!ftp_.Upload(platform::SjisToUtf8(state.LocalPath), state.FileName))
            throw platform::Error("Upload failure");
        state.FileSize = ftp_.BytesTotal;
        state.Utf8Names = ftp_.Utf8Names();
        // The file is stored; a refused or failed goodbye does not undo that (the session is
        // closed either way).
        try {
            ftp_.Disconnect();
        } catch (const platform::Error&) {
        }

        LogRecordSource source;
        source.FileName = state.FileName;
        source.RecipientName = state.RecipientName;
        source.DirectoryText = view.DirectoryText();
        source.ProxyHost = ftp_.Proxy;
        source.ProxyPort = ftp_.ProxyPort;
        source.FtpHost = ftp_.Host;
        source.FtpPort = ftp_.Port;
        source.FtpUserId = ftp_.UserID;
        source.FtpPassword = ftp_.Password;
        source.StartFolder = state.CurrentProfile.HostStartFolder;
        source.FileSize = state.FileSize;
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const std::string record = AppendLogRecord(screen_.LogList(), local, source);
        // How this upload connected, so its deletion does the same (a plain one leaves no
        // entry; a TAB that would split the entry was refused before the question).
        screen_.Connections().SetLogRecord(record, LoggedConnectionOf(ftp_, ftpNames_));
        return UploadOutcome::Stored;
    } catch (const platform::Error& e) {
        uploadFailure_ = e.what();
        StopProgress();
        view.ShowMessage(t.FtpErrorDisconnect);
        try {
            ftp_.Disconnect();
        } catch (const platform::Error&) {
        }
        return UploadOutcome::Failed;
    }
}

bool SendJob::ChangeToRemoteDirectory(const std::string& path) {
    const bool create = screen_.Environment().CreateMissingDirectory;
    for (const std::string& segment : PathSegments(path)) {
        try {
            ftp_.ChangeDir(segment);
            continue;
        } catch (const platform::Error&) {
        }
        if (create) {
            try {
                ftp_.MakeDir(segment);
                ftp_.ChangeDir(segment);
                continue;
            } catch (const platform::Error&) {
            }
        } else {
            screen_.View().SetStatus(platform::texts().StatusNoSendDirectory);
            ErrorLog(path + " ChangeDir failure");
        }
        try {
            ftp_.Disconnect();
        } catch (const platform::Error&) {
        }
        return false;
    }
    return true;
}

}  // namespace app

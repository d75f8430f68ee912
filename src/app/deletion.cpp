#include "app/deletion.h"

#include <charconv>

#include "app/error_log.h"
#include "app/ftp_connection.h"
#include "app/remote_path.h"
#include "platform/sjis.h"
#include "platform/texts.h"
#include "settings/profile_store.h"

namespace app {

namespace {

int NumberOr(const std::string& text, int fallback) {
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() ? value : fallback;
}

}  // namespace

Deletion::Deletion(DeletionView& view, platform::SortedLineList& log,
                   const settings::TEnvironmentSettings& environment,
                   settings::ConnectionStore& connections, std::filesystem::path dataDir)
    : view_(view),
      log_(log),
      environment_(environment),
      connections_(connections),
      dataDir_(std::move(dataDir)) {
    ftp_.OnConnect = [this](ftp::TSockSession*) { DeletionJob(); };
    ftp_.OnFailure = [this](ftp::TSockSession*, bool&, ftp::TCmdType code) {
        const auto& texts = ftp::TextsOf(code);
        if (code > ftp::TransDoCommand || texts.delete_failure.empty()) return;
        view_.SetStatus(texts.delete_failure);
        ErrorLog(texts.delete_error_log);
    };
}

void Deletion::ErrorLog(const std::string& message) {
    try {
        AppendErrorLog(dataDir_, message);
    } catch (const platform::Error& e) {
        view_.ShowMessage(e.what());
    }
}

void Deletion::RemoveRecord(std::size_t pos) {
    connections_.RemoveLogRecord(log_.at(pos));
    log_.Delete(pos);
}

void Deletion::FillGrid() {
    LogGrid grid = FillLogGrid(log_);
    shownCount_ = grid.ShownCount;
    view_.SetGridRows(grid.Rows);
}

void Deletion::RemoveFromList() {
    const int row = view_.SelectedRow();
    if (running_ || row < 1 || log_.empty() || shownCount_ == 0 ||
        static_cast<std::size_t>(row - 1) >= log_.size())
        return;
    RemoveRecord(static_cast<std::size_t>(row - 1));
    FillGrid();
}

DeletionOutcome Deletion::DeleteRemoteData() {
    const int row = view_.SelectedRow();
    if (running_ || row < 1 || log_.empty() || shownCount_ == 0 ||
        static_cast<std::size_t>(row - 1) >= log_.size())
        return DeletionOutcome::NotStarted;
    const auto& t = platform::texts();
    const std::string line = log_.at(static_cast<std::size_t>(row - 1));
    const TLogRecord r = ParseLogRecord(line);
    if (!view_.AskYesNo("\r" + t.ConfirmOpen + r.LoggedFileName + t.ConfirmClose + "\r" +
                        t.ConfirmDelete + "\r" + t.ConfirmQuestion))
        return DeletionOutcome::NotStarted;

    running_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{running_};

    view_.SetStatus(t.StatusConnecting);
    if (environment_.UseProxy) {
        ftp_.Proxy = r.LoggedProxyHost;
        ftp_.ProxyPort = NumberOr(r.LoggedProxyPort, 0);
    } else {
        ftp_.Proxy.clear();
        ftp_.ProxyPort = 0;
    }
    ftp_.Host = r.LoggedFtpHost;
    ftp_.Port = NumberOr(r.LoggedFtpPort, 21);
    ftp_.TimeOut = 20000;
    ftp_.UserID = r.LoggedFtpUserId;
    ftp_.Password = settings::DecodePassword(r.LoggedFtpPassword);
    ftp_.ReportLevel = 0;
    settings::TLoggedConnection logged = connections_.ForLogRecord(line);
    // The name rule that found UTF-8 at the upload finds it again.
    const settings::TNameRule names =
        logged.UsedUtf8 ? settings::TNameRule::Automatic : logged.FtpNames;
    SetFtpConnection(ftp_, logged.FtpSecurity, names, logged.FtpFingerprint,
                     connections_.Passive());
    ftp_.FirewallType = ftp::FTUser;
    ftp_.FWAuthenticate = false;
    startFolder_ = r.LoggedStartFolder;
    directory_ = r.LoggedDirectory;
    fileName_ = r.LoggedFileName;
    outcome_ = DeletionOutcome::ConnectFailed;

    try {
        ConnectTrusting(
            [this] { ftp_.Connect(); }, ftp_.Host,
            [this](const CertificateQuestion& q) { return view_.AskTrustCertificate(q); },
            [&](const std::string& fingerprint) {
                ftp_.TrustedFingerprint = fingerprint;
                logged.FtpFingerprint = fingerprint;
                connections_.SetLogRecord(line, logged);
            });
    } catch (const platform::Error& e) {
        try {
            ftp_.Disconnect();
        } catch (const platform::Error&) {
        }
        std::string tlsReason;
        if (const auto* net = dynamic_cast<const platform::NetError*>(&e))
            tlsReason = TlsFailureText(*net, ftp_.Host);
        if (!tlsReason.empty()) ErrorLog("Delete Process " + std::string(e.what()));
        if (outcome_ == DeletionOutcome::ConnectFailed)
            view_.ShowMessage(tlsReason.empty() ? t.FtpConnectFailed
                                                : t.FtpConnectFailed + "\r\n" + tlsReason);
    }

    switch (outcome_) {
        case DeletionOutcome::Deleted:
        case DeletionOutcome::FileMissing: {
            // The list may not have changed meanwhile (the window is inactive), but find the
            // record by its text rather than trust the position.
            const auto& lines = log_.lines();
            for (std::size_t i = 0; i < lines.size(); ++i) {
                if (lines[i] == line) {
                    RemoveRecord(i);
                    break;
                }
            }
            FillGrid();
            break;
        }
        case DeletionOutcome::DirectoryMissing:
            view_.ShowMessage(t.DeleteDirectoryMissing);
            break;
        case DeletionOutcome::Failed:
            view_.ShowMessage(t.DeleteFailed);
            break;
        default:
            break;
    }
    return outcome_;
}

bool Deletion::EnterPath(const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = platform::sjis::Find(path, '/', start);
        if (slash == platform::sjis::npos) slash = path.size();
        const std::string segment = path.substr(start, slash - start);
        start = slash + 1;
        if (segment.empty()) continue;
        ftp_.ChangeDir(segment);  // throws when it fails
    }
    return true;
}

void Deletion::DeletionJob() {
    const auto& t = platform::texts();
    view_.SetStatus(t.StatusDeleting);
    outcome_ = DeletionOutcome::Failed;
    auto quit = [this] {
        try {
            ftp_.Disconnect();
        } catch (const platform::Error&) {
        }
    };
    try {
        EnterPath(NormalizeRemotePath(startFolder_));
        if (!directory_.empty()) EnterPath(NormalizeRemotePath(directory_).substr(1));
    } catch (const platform::Error&) {
        view_.SetStatus(t.StatusNoDirectory);
        outcome_ = DeletionOutcome::DirectoryMissing;
        quit();
        return;
    }
    try {
        ftp_.Mode(ftp::TransferImage);
    } catch (const platform::Error&) {
        quit();
        return;
    }
    try {
        ftp_.Delete(fileName_);
        outcome_ = DeletionOutcome::Deleted;
    } catch (const platform::Error&) {
        // 550: the file is not there (vsftpd and others give no finer code).
        if (ftp_.ReplyNumber() == 550) {
            outcome_ = DeletionOutcome::FileMissing;
            view_.ShowMessage(t.FileMissing);
        }
    }
    quit();
    if (outcome_ == DeletionOutcome::Deleted || outcome_ == DeletionOutcome::FileMissing)
        view_.SetStatus(t.StatusDeleteDone);
}

}  // namespace app

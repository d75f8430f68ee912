#include "app/dispatch.h"

#include "app/certificate_trust.h"
#include "app/download.h"
#include "app/error_log.h"
#include "app/main_screen.h"
#include "app/notification.h"
#include "app/refusal.h"
#include "platform/connection.h"
#include "platform/sjis.h"
#include "platform/texts.h"

namespace app {

Dispatch::Dispatch(MainScreen& screen) : screen_(screen) {
    smtp_.OnBeforeSend = [this](void*) { BeforeSend(); };
    smtp_.OnSendProgress = [this](void*, std::uint16_t percent) { SendProgress(percent); };
    // Progress only: whether the mail went out is decided where SendMessage returns.
    smtp_.OnAfterSend = [this](void*) { screen_.View().SetProgress(0); };
    smtp_.OnError = [this](void*, int code, const std::string& message) {
        SmtpError(code, message);
    };
    pop_.OnError = [this](void*, int code, const std::string&) { popError_ = code; };
}

void Dispatch::ErrorLog(const std::string& message) {
    try {
        AppendErrorLog(screen_.DataDir(), message);
    } catch (const platform::Error& e) {
        screen_.View().ShowMessage(MainScreen::ErrorText(e));
    }
}

void Dispatch::BeforeSend() { screen_.View().SetProgress(0); }

void Dispatch::SendProgress(int percent) { screen_.View().SetProgress(percent); }

namespace {

// What the screen says for a failure of the SMTP log-in or TLS set-up; null for the others.
const std::string* SubmissionFailureText(mail::TSmtpFailure failure) {
    const auto& t = platform::texts();
    switch (failure) {
        case mail::TSmtpFailure::AuthRefused:
            return &t.SmtpAuthFailed;
        case mail::TSmtpFailure::NoAuth:
            return &t.SmtpNoAuth;
        case mail::TSmtpFailure::NoStartTls:
            return &t.SmtpNoStartTls;
        case mail::TSmtpFailure::StartTlsRefused:
            return &t.SmtpStartTlsRefused;
        case mail::TSmtpFailure::None:
            break;
    }
    return nullptr;
}

}  // namespace

void Dispatch::SmtpError(int code, const std::string& message) {
    if (const std::string* text = SubmissionFailureText(smtp_.Failure)) {
        ErrorLog(*text + " " + smtp_.Host + ": " + (code ? std::to_string(code) + " " : "") +
                 message);
        reported_ = true;
        screen_.View().ShowMessage(*text + platform::texts().MailNotSent);
        return;
    }
    ErrorLog(message);
    // Once the message was handed over, a refused goodbye is no failure of the send.
    if (afterDelivery_) return;
    reported_ = true;
    screen_.View().ShowMessage("Error: " + message);
}

namespace {

// The recipient's address: the text after the first "," of the address line.
std::string SendToOf(const std::string& addressLine) {
    const std::size_t comma = platform::sjis::Find(addressLine, ',');
    return comma == platform::sjis::npos ? std::string() : addressLine.substr(comma + 1);
}

// The screen's name of a message field; only the fields the notification fills can be met.
std::string FieldLabel(mail::MessageField field) {
    const auto& t = platform::texts();
    switch (field) {
        case mail::MessageField::UserName:
        case mail::MessageField::JPName:
            return t.MailNameLabel;
        case mail::MessageField::From:
            return t.MailAddressLabel;
        case mail::MessageField::ReplyTo:
            return t.ReplyAddressLabel;
        case mail::MessageField::SendTo:
        case mail::MessageField::CC:
        case mail::MessageField::BCC:
            return t.RecipientLabel;
        case mail::MessageField::Subject:
            return t.SubjectField;
        default:
            return mail::FieldName(field);
    }
}

}  // namespace

void Dispatch::FillMessage(mail::TOrbMsg& message, const std::string& addressLine) {
    const settings::TSenderProfile& profile = screen_.State().CurrentProfile;
    message.Clear();
    message.UserName = profile.MailName;
    message.JPName = profile.MailName;  // the name the recipient sees in From
    message.From = profile.MailAddress;
    message.ReplyTo = profile.ReplyAddress;
    message.SendTo = SendToOf(addressLine);
    message.Subject = screen_.View().Subject();
    message.CharSet = "ISO-2022-JP";
}

std::string Dispatch::Refusal(const std::string& addressLine) {
    mail::TOrbMsg message;
    FillMessage(message, addressLine);
    if (const auto problem = mail::FindSendProblem(message)) {
        return RefusalMessage(FieldLabel(problem->field),
                              problem->kind == mail::SendProblem::Address
                                  ? RefusalReason::Address
                                  : RefusalReason::ControlCharacter);
    }
    const auto& t = platform::texts();
    const settings::TSenderProfile& profile = screen_.State().CurrentProfile;
    const settings::TConnectionSettings connection = screen_.Connections().ForProfile(profile.Name);
    std::string host;
    int port = connection.SmtpPort;
    if (!platform::SplitHostPort(profile.SmtpServer, host, port))
        return RefusalMessage(t.SmtpServerLabel, RefusalReason::Port);
    if (connection.SmtpAuth) {
        if (mail::HasLineBreakOrNul(connection.SmtpUser))
            return RefusalMessage(t.SmtpUserField, RefusalReason::ControlCharacter);
        if (mail::HasLineBreakOrNul(connection.SmtpPassword))
            return RefusalMessage(t.SmtpPasswordField, RefusalReason::ControlCharacter);
    }
    if (profile.PopAuthOn()) {
        port = connection.PopPort;
        if (!platform::SplitHostPort(profile.Pop3Server, host, port))
            return RefusalMessage(t.Pop3ServerLabel, RefusalReason::Port);
        if (mail::HasLineBreakOrNul(profile.PopAccount))
            return RefusalMessage(t.PopAccountLabel, RefusalReason::ControlCharacter);
        if (mail::HasLineBreakOrNul(profile.PopPassword))
            return RefusalMessage(t.PasswordLabel, RefusalReason::ControlCharacter);
    }
    return {};
}

namespace {

mail::TMailSecurity MailSecurity(settings::TSecurity security) {
    switch (security) {
        case settings::TSecurity::Explicit:
            return mail::TMailSecurity::StartTls;
        case settings::TSecurity::Implicit:
            return mail::TMailSecurity::Implicit;
        case settings::TSecurity::None:
            break;
    }
    return mail::TMailSecurity::None;
}

// The client's Host and Port from a server field ("host", "host:port", "[v6]:port"); the
// port of the connection settings unless the field names one.
void SetServer(const std::string& field, int port, std::string& host, std::string& portText) {
    if (!platform::SplitHostPort(field, host, port)) host = field;
    portText = std::to_string(port);
}

}  // namespace

void Dispatch::ConnectMail(const std::function<void()>& connect, const std::string& host,
                           std::string& pinned,
                           std::string settings::TConnectionSettings::*stored) {
    ConnectTrusting(
        connect, host,
        [this](const CertificateQuestion& q) { return screen_.View().AskTrustCertificate(q); },
        [&](const std::string& fingerprint) {
            pinned = fingerprint;
            const std::string& name = screen_.State().CurrentProfile.Name;
            settings::TConnectionSettings connection = screen_.Connections().ForProfile(name);
            connection.*stored = fingerprint;
            screen_.Connections().SetProfile(name, connection);
        });
}

bool Dispatch::TlsFailure(const platform::NetError& e, const std::string& failed,
                          const std::string& host, const std::string& logLine) {
    const std::string reason = TlsFailureText(e, host);
    if (reason.empty()) return false;
    ErrorLog(logLine + ": " + e.what());
    screen_.View().ShowMessage(failed + "\r\n" + reason);
    return true;
}

DispatchOutcome Dispatch::SendNotification(const std::string& addressLine) {
    reported_ = false;
    afterDelivery_ = false;
    last_ = RunPhase(addressLine);
    afterDelivery_ = false;
    message_.Text.clear();
    return last_;
}

DispatchOutcome Dispatch::RunPhase(const std::string& addressLine) {
    const auto& t = platform::texts();
    MainView& view = screen_.View();
    TSendState& state = screen_.State();
    const settings::TSenderProfile& profile = state.CurrentProfile;
    const settings::TConnectionSettings connection = screen_.Connections().ForProfile(profile.Name);

    state.DownloadBase =
        BuildDownloadBase(profile.WwwAddress, view.DirectoryText(), state.Utf8Names);
    std::vector<std::string> body =
        ComposeNotification(view.HeaderLines(), state.DownloadBase, state.FileName, state.FileSize,
                            view.FooterLines(), state.Utf8Names);

    view.SetProgress(0);
    view.SetStatus(t.StatusMailConnecting);

    if (profile.PopAuthOn()) {
        if (const auto ended = PopBeforeSmtp(connection)) return *ended;
    }

    SetServer(profile.SmtpServer, connection.SmtpPort, smtp_.Host, smtp_.Port);
    smtp_.Security = MailSecurity(connection.SmtpSecurity);
    smtp_.TrustedFingerprint = connection.SmtpFingerprint;
    smtp_.Authenticate = connection.SmtpAuth;
    smtp_.UserId = connection.SmtpUser;
    smtp_.Password = connection.SmtpPassword;
    smtp_.EncodeProgressStep = 10;
    smtp_.SendProgressStep = 10;
    FillMessage(message_, addressLine);
    message_.Text = std::move(body);

    return SendBySmtp();
}

std::optional<DispatchOutcome> Dispatch::PopBeforeSmtp(
    const settings::TConnectionSettings& connection) {
    const auto& t = platform::texts();
    MainView& view = screen_.View();
    const settings::TSenderProfile& profile = screen_.State().CurrentProfile;
    SetServer(profile.Pop3Server, connection.PopPort, pop_.Host, pop_.Port);
    pop_.UserId = profile.PopAccount;
    pop_.Passwd = profile.PopPassword;
    pop_.Security = MailSecurity(connection.PopSecurity);
    pop_.TrustedFingerprint = connection.PopFingerprint;
    popError_ = 0;
    popRetrieved_ = 0;
    try {
        try {
            ConnectMail([this] { pop_.Connect(); }, pop_.Host, pop_.TrustedFingerprint,
                        &settings::TConnectionSettings::PopFingerprint);
        } catch (const platform::NetError& e) {
            if (!TlsFailure(e, t.Pop3ConnectFailed, pop_.Host, t.Pop3ConnectError)) throw;
            return DispatchOutcome::NotDelivered;
        }
        if (pop_.ErrorFlag) {
            ErrorLog(t.Pop3ConnectError);
            pop_.Quit();
            view.ShowMessage(popError_ == mail::TOrbPOP::kStlsRefused ? t.Pop3StlsRefused
                                                                      : t.Pop3ConnectFailed);
            return DispatchOutcome::NotDelivered;
        }
        if (!pop_.Login()) {
            ErrorLog(t.Pop3LoginError);
            pop_.Quit();
            view.ShowMessage(t.Pop3LoginFailed);
            return DispatchOutcome::NotDelivered;
        }
        pop_.CountNewMessages();
        // Nothing reads the messages: each is read to its end and dropped.
        popRetrieved_ = pop_.RetrieveAndDiscardAll();
        pop_.Quit();
    } catch (const platform::Error& e) {
        try {
            pop_.Quit();
        } catch (const platform::Error&) {
        }
        view.ShowMessage(MainScreen::ErrorText(e));
        return DispatchOutcome::Aborted;
    }
    return std::nullopt;
}

DispatchOutcome Dispatch::SendBySmtp() {
    const auto& t = platform::texts();
    MainView& view = screen_.View();
    try {
        ConnectMail([this] { smtp_.Connect(); }, smtp_.Host, smtp_.TrustedFingerprint,
                    &settings::TConnectionSettings::SmtpFingerprint);
        if (smtp_.ErrorFlag) {
            // A refused connection raises no error event; say so instead of ending silently.
            if (!reported_) {
                ErrorLog("SMTP connection failure: " + smtp_.Host);
                view.ShowMessage(t.SmtpConnectFailed);
            }
            return DispatchOutcome::NotDelivered;
        }
        view.SetStatus(t.StatusMailSending);
        // A refused transaction runs the client's error routine, which sets ErrorFlag.
        if (!smtp_.SendMessage(message_) || smtp_.ErrorFlag) {
            smtp_.Quit();
            return DispatchOutcome::NotDelivered;
        }
    } catch (const platform::Error& e) {
        try {
            smtp_.Quit();
        } catch (const platform::Error&) {
        }
        const auto* net = dynamic_cast<const platform::NetError*>(&e);
        if (net && !reported_ &&
            TlsFailure(*net, t.SmtpConnectFailed, smtp_.Host, t.SmtpServerLabel + " " + smtp_.Host))
            return DispatchOutcome::NotDelivered;
        // Failures the client already reported through its error event stay at that report.
        if (!reported_) {
            ErrorLog(e.what());
            view.ShowMessage("Error: " + MainScreen::ErrorText(e));
        }
        return DispatchOutcome::NotDelivered;
    }
    view.SetStatus(t.StatusSendDone);
    afterDelivery_ = true;
    try {
        smtp_.Quit();
    } catch (const platform::Error&) {
        // The message was handed over; a failed goodbye changes nothing.
    }
    return DispatchOutcome::Delivered;
}

}  // namespace app

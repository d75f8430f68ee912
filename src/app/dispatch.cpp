#include "app/dispatch.h"

#include "app/download.h"
#include "app/error_log.h"
#include "app/main_screen.h"
#include "app/notification.h"
#include "app/refusal.h"
#include "platform/sjis.h"
#include "platform/texts.h"

namespace app {

Dispatch::Dispatch(MainScreen& screen) : screen_(screen) {
    smtp_.OnBeforeSend = [this](void*) { BeforeSend(); };
    smtp_.OnSendProgress = [this](void*, std::uint16_t percent) { SendProgress(percent); };
    // Progress only: whether the mail went out is decided where SendMessage returns.
    smtp_.OnAfterSend = [this](void*) { screen_.View().SetProgress(0); };
    smtp_.OnError = [this](void*, int, const std::string& message) { SmtpError(message); };
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

void Dispatch::SmtpError(const std::string& message) {
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
    const settings::TSenderProfile& profile = screen_.State().CurrentProfile;
    if (profile.PopAuthOn()) {
        const auto& t = platform::texts();
        if (mail::HasLineBreakOrNul(profile.PopAccount))
            return RefusalMessage(t.PopAccountLabel, RefusalReason::ControlCharacter);
        if (mail::HasLineBreakOrNul(profile.PopPassword))
            return RefusalMessage(t.PasswordLabel, RefusalReason::ControlCharacter);
    }
    return {};
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
        pop_.Host = profile.Pop3Server;
        pop_.UserId = profile.PopAccount;
        pop_.Passwd = profile.PopPassword;
        pop_.Port = std::to_string(connection.PopPort);
        try {
            pop_.Connect();
            if (pop_.ErrorFlag) {
                ErrorLog(t.Pop3ConnectError);
                pop_.Quit();
                view.ShowMessage(t.Pop3ConnectFailed);
                return DispatchOutcome::NotDelivered;
            }
            if (!pop_.Login()) {
                ErrorLog(t.Pop3LoginError);
                pop_.Quit();
                view.ShowMessage(t.Pop3LoginFailed);
                return DispatchOutcome::NotDelivered;
            }
            pop_.CountNewMessages();
            pop_.RetrieveAll(received_);
            pop_.Quit();
        } catch (const platform::Error& e) {
            try {
                pop_.Quit();
            } catch (const platform::Error&) {
            }
            view.ShowMessage(MainScreen::ErrorText(e));
            return DispatchOutcome::Aborted;
        }
    }

    smtp_.Host = profile.SmtpServer;
    smtp_.Port = std::to_string(connection.SmtpPort);
    smtp_.EncodeProgressStep = 10;
    smtp_.SendProgressStep = 10;
    FillMessage(message_, addressLine);
    message_.Text = std::move(body);

    return SendBySmtp();
}

DispatchOutcome Dispatch::SendBySmtp() {
    const auto& t = platform::texts();
    MainView& view = screen_.View();
    try {
        smtp_.Connect();
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

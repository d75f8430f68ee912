#pragma once
// The mail phase of a send: compose the notification, log in to POP3 first when the profile
// asks for POP before SMTP, and hand the message to the profile's SMTP server.
#include <functional>
#include <optional>
#include <string>

#include "mail/orb_msg.h"
#include "mail/orb_pop.h"
#include "mail/orb_smtp.h"
#include "platform/net_error.h"
#include "settings/connection_settings.h"

namespace app {

class MainScreen;

enum class DispatchOutcome {
    Delivered,     // the SMTP server took the message
    NotDelivered,  // the phase ended without the mail going out; the failure was reported
    Aborted,       // a POP3 step raised a failure: the whole job ends, the flags stay as they were
};

class Dispatch {
public:
    explicit Dispatch(MainScreen& screen);
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;

    // addressLine: the address-book line chosen for the send (name, ",", address).
    DispatchOutcome SendNotification(const std::string& addressLine);

    // The message refusing the notification the mail clients would refuse (a line break or
    // NUL in a header value or a POP3 or SMTP credential, an envelope address that is not one,
    // a server field whose port is no number); empty when it can go out. Checked before the
    // upload, so no file is left without its mail.
    std::string Refusal(const std::string& addressLine);

    // True when the last SendNotification returned Delivered.
    bool Delivered() const { return last_ == DispatchOutcome::Delivered; }

    mail::TOrbSMTP& Smtp() { return smtp_; }
    mail::TOrbPOP& Pop() { return pop_; }
    // Messages POP before SMTP read (and dropped) in the last mail phase.
    int PopRetrieved() const { return popRetrieved_; }

private:
    DispatchOutcome RunPhase(const std::string& addressLine);
    // POP before SMTP: the phase's outcome when it ends there, nothing when SMTP may follow.
    std::optional<DispatchOutcome> PopBeforeSmtp(const settings::TConnectionSettings& connection);
    // Connect, SendMessage and Quit; the message and the SMTP client are set up.
    DispatchOutcome SendBySmtp();
    void ErrorLog(const std::string& message);
    // The notification's header fields, as the profile, the subject field and the address
    // line give them.
    void FillMessage(mail::TOrbMsg& message, const std::string& addressLine);
    void BeforeSend();
    void SendProgress(int percent);
    void SmtpError(int code, const std::string& message);
    // Connects; a certificate that did not verify is put to the user, and when trusted its
    // fingerprint is pinned for the retry and stored in the profile's connection settings.
    void ConnectMail(const std::function<void()>& connect, const std::string& host,
                     std::string& pinned, std::string settings::TConnectionSettings::*stored);
    // Shows `failed` with the TLS failure's reason and logs it; false when the error is none.
    bool TlsFailure(const platform::NetError& e, const std::string& failed, const std::string& host,
                    const std::string& logLine);
    MainScreen& screen_;
    mail::TOrbSMTP smtp_;
    mail::TOrbPOP pop_;
    mail::TOrbMsg message_;
    int popRetrieved_ = 0;
    int popError_ = 0;  // the POP3 client's last error code in this phase
    DispatchOutcome last_ = DispatchOutcome::NotDelivered;
    bool reported_ = false;       // the SMTP client reported a failure during this phase
    bool afterDelivery_ = false;  // the server has the message; only the goodbye is left
};

}  // namespace app

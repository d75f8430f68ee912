#pragma once
// The mail phase of a send: compose the notification, log in to POP3 first when the profile
// asks for POP before SMTP, and hand the message to the profile's SMTP server.
#include <string>

#include "mail/orb_msg.h"
#include "mail/orb_pop.h"
#include "mail/orb_smtp.h"

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
    // NUL in a header value or a POP3 credential, an envelope address that is not one); empty
    // when it can go out. Checked before the upload, so no file is left without its mail.
    std::string Refusal(const std::string& addressLine);

    // True when the last SendNotification returned Delivered.
    bool Delivered() const { return last_ == DispatchOutcome::Delivered; }

    mail::TOrbSMTP& Smtp() { return smtp_; }
    mail::TOrbPOP& Pop() { return pop_; }
    mail::TOrbMsgList& Received() { return received_; }

private:
    DispatchOutcome RunPhase(const std::string& addressLine);
    // Connect, SendMessage and Quit; the message and the SMTP client are set up.
    DispatchOutcome SendBySmtp();
    void ErrorLog(const std::string& message);
    // The notification's header fields, as the profile, the subject field and the address
    // line give them.
    void FillMessage(mail::TOrbMsg& message, const std::string& addressLine);
    void BeforeSend();
    void SendProgress(int percent);
    void SmtpError(const std::string& message);

    MainScreen& screen_;
    mail::TOrbSMTP smtp_;
    mail::TOrbPOP pop_;
    mail::TOrbMsg message_;
    mail::TOrbMsgList received_;
    DispatchOutcome last_ = DispatchOutcome::NotDelivered;
    bool reported_ = false;       // the SMTP client reported a failure during this phase
    bool afterDelivery_ = false;  // the server has the message; only the goodbye is left
};

}  // namespace app

#pragma once
// SMTP client component: greets the server with HELO and delivers one rendered message in up to
// three transactions (To, CC, BCC) carrying the same data.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mail/mail_transport.h"
#include "mail/orb_msg.h"

namespace mail {

// Raised by SendMessage when it cannot start ("Not connected.", a missing field).
class ESmtpError : public platform::Error {
public:
    using platform::Error::Error;
};

// Removes every "(" ... ")" comment and keeps what lies between "<" and ">" when both are there.
std::string ExtractAddress(std::string text);
// Quoted parts removed, lower-cased, split at ",", each piece through ExtractAddress. Pieces that
// end up empty are left out.
std::vector<std::string> SplitAddressList(const std::string& text);

// An envelope address is the address alone: a "<", ">", "," or blank in it (or any control
// character) would let the rest reach the server as a second address or as ESMTP parameters.
bool IsEnvelopeAddress(const std::string& address);

// Why SendMessage would refuse a message before sending anything.
struct SendProblem {
    enum Kind { LineBreak, Address };
    Kind kind;
    MessageField field;
};
// A header value with CR, LF or NUL (FindUnsafeHeader), else an envelope address that is not
// one: ExtractAddress of From, SplitAddressList of SendTo, CC and BCC.
std::optional<SendProblem> FindSendProblem(const TOrbMsg& message);
// The English text of the refusal.
std::string SendProblemText(const SendProblem& problem);

// Why Connect ended a session beyond a refusing reply of the described steps.
enum class TSmtpFailure {
    None,
    NoStartTls,       // STARTTLS was asked for and the server does not offer it (or no EHLO)
    StartTlsRefused,  // STARTTLS answered other than 220
    NoAuth,           // AUTH was asked for and the server offers no mechanism we have
    AuthRefused,      // the server did not take the credentials (535 and the like)
};

// AUTH mechanisms in the order of preference; the first that the server offers is used.
inline constexpr const char* kAuthMechanisms[] = {"CRAM-MD5", "PLAIN", "LOGIN"};

// The mechanism both sides have (kAuthMechanisms order), from the keyword lines of an EHLO
// reply ("AUTH PLAIN LOGIN" or the older "AUTH=LOGIN"); empty when there is none.
std::string ChooseAuthMechanism(const std::vector<std::string>& extensions);

class TOrbSMTP {
public:
    TOrbSMTP();
    ~TOrbSMTP();
    TOrbSMTP(const TOrbSMTP&) = delete;
    TOrbSMTP& operator=(const TOrbSMTP&) = delete;

    // Published properties.
    std::string Port = "25";
    std::string Host;
    bool LocalizedDates = false;  // kept; the Date header ignores it
    std::uint16_t EncodeProgressStep = 10;
    std::uint16_t SendProgressStep = 10;
    // Silence after which an awaited reply is given up (ms; 0 waits for ever).
    int IdleLimitMs = kDefaultIdleLimitMs;
    // Submission: TLS and log-in. With neither, the session is the plain HELO one.
    TMailSecurity Security = TMailSecurity::None;
    std::string TrustedFingerprint;  // SHA-256 accepted when the certificate does not verify
    bool Authenticate = false;
    std::string UserId;
    std::string Password;

    // Events, each called only when set.
    TNotifyEvent OnConnect;  // sender: the socket
    TNotifyEvent OnQuit;     // sender: the socket
    // The refusing reply's code and text; 0 and words quoting the reply when it had no code.
    TOnError OnError;
    TNotifyEvent OnBeforeSend;
    TNotifyEvent OnAfterSend;
    TOnCodeStartEvent OnEncodeStart;
    TOnCodeProgressEvent OnEncodeProgress;
    TNotifyEvent OnEncodeEnd;
    TOnSendProgressEvent OnSendProgress;

    // Session state.
    std::string ReplyCode;  // first three characters of the last reply line, trimmed
    std::string ReplyText;  // its characters 4 to 67, trimmed
    std::string ReplyLine;  // that line whole, without its line end
    bool ErrorFlag = false;
    bool Connected = false;
    bool AbortRequested = false;                // set by the caller to stop a running send
    TSmtpFailure Failure = TSmtpFailure::None;  // set with ErrorFlag by Connect
    std::vector<std::string> Extensions;        // keyword lines of the last EHLO reply
    std::string AuthMechanism;                  // the mechanism of the last log-in

    // Opens, waits for the greeting (220 or 421) and sends HELO; check ErrorFlag afterwards.
    // With Security or Authenticate set: EHLO, STARTTLS and EHLO again, AUTH. Throws
    // EMailArgumentError for credentials with CR, LF or NUL (before connecting) and
    // platform::NetError when TLS cannot be set up (the connection is closed then).
    void Connect();
    // Renders the message and delivers it. Throws ESmtpError when not connected or when From or
    // SendTo is empty, and EMailArgumentError for a FindSendProblem; nothing is sent then.
    // False when cancelled during rendering.
    bool SendMessage(TOrbMsg& message);
    // Sends QUIT and closes; does nothing when not connected.
    void Quit();

    std::uint16_t LastSendPercent() const { return last_send_percent_; }
    std::uint16_t LastEncodePercent() const { return last_encode_percent_; }

    // Reply text used when the server closes the connection while a reply is awaited.
    static constexpr const char* kClosedReplyCode = "421";
    static constexpr const char* kClosedReplyText = "Connection closed by server";
    static constexpr const char* kSilentReplyText = "No reply from server";

private:
    class Session;

    void Send(const std::string& text);
    void ReadReply();
    bool NextReplyLine(std::string& line);
    void Expect(const std::string& command);
    // The extended session's replies are read whole (every line of a multi-line reply).
    void ReadWholeReply(std::vector<std::string>* lines = nullptr);
    void Command(const std::string& command, std::vector<std::string>* lines = nullptr);
    bool NextLine(std::string& line);
    bool Submission() const;
    // EHLO (HELO when the server refuses it and neither TLS nor AUTH needs it); false when the
    // session ended.
    bool Introduce(bool afterTls);
    void ExtendedSession();
    void ServerGone();
    void TakeReplyLine(const std::string& line);
    bool Login();
    void StartTls();
    void Fail(TSmtpFailure failure, const char* text = nullptr);
    int Transaction(const std::string& sender, const std::vector<std::string>& recipients,
                    const std::vector<std::string>& lines);
    // Closes and reports the last reply, or `text` with code 0 when no reply says why.
    void ErrorRoutine(const char* text = nullptr);
    void CloseSocket();

    TMailSocket socket_;
    std::string pending_;       // bytes after the last complete reply line
    bool server_gone_ = false;  // the last reply was made up for a server that went away
    std::uint16_t last_send_percent_ = 0;
    std::uint16_t last_encode_percent_ = 0;
};

}  // namespace mail

#pragma once
// POP3 client component, used for POP-before-SMTP: log in, count, retrieve every message into
// memory (nothing is deleted on the server) and log out.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mail/mail_transport.h"
#include "mail/orb_msg.h"

namespace mail {

// Raised by Login and the retrieve operations when the session is not connected.
class EPopError : public platform::Error {
public:
    using platform::Error::Error;
};

class TOrbPOP {
public:
    TOrbPOP();
    ~TOrbPOP();
    TOrbPOP(const TOrbPOP&) = delete;
    TOrbPOP& operator=(const TOrbPOP&) = delete;

    // Published properties.
    std::string UserId;
    std::string Passwd;
    std::string Port = "110";
    // Silence after which an awaited reply is given up (ms; 0 waits for ever).
    int IdleLimitMs = kDefaultIdleLimitMs;
    std::string Host;
    std::string ErrorInFormatOfMsg = "Error en el formato del mensaje.";
    std::uint16_t DecodeProgressStep = 10;
    std::uint16_t RetrieveProgressStep = 10;
    TMailSecurity Security = TMailSecurity::None;  // STARTTLS here means STLS
    std::string TrustedFingerprint;  // SHA-256 accepted when the certificate does not verify

    // Events, each called only when set.
    TNotifyEvent OnConnect;  // sender: the socket
    TNotifyEvent OnQuit;     // sender: the socket
    TOnError OnError;
    TOnCodeStartEvent OnDecodeStart;
    TOnCodeProgressEvent OnDecodeProgress;
    TNotifyEvent OnDecodeEnd;
    std::function<void(void* sender, int number)> OnBeforeRetrieve;
    TNotifyEvent OnAfterRetrieve;
    TOnCodeProgressEvent OnRetrieveProgress;
    std::function<void(void* sender, int number)> OnDelete;  // declared; nothing fires it

    // Session state.
    std::string StatusWord;  // "+OK" or "-ERR" (first four characters, trimmed)
    std::string StatusText;  // the rest of the status line, trimmed
    bool ErrorFlag = false;
    bool Connected = false;
    bool LoggedIn = false;
    bool AbortRequested = false;
    std::uint16_t MessageCount = 0;
    std::vector<std::string> DeletedNumbers;  // numbers RetrieveAll skips
    bool LastSucceeded = false;

    // Error codes passed to OnError.
    static constexpr int kGreetingRefused = 2000;
    static constexpr int kLoginRefused = 2001;
    static constexpr int kQuitRefused = 2002;
    static constexpr int kRetrieveRefused = 2004;
    static constexpr int kStatRefused = 2006;
    static constexpr int kStlsRefused = 2007;

    // Opens and reads the greeting, with TLS from the first byte or after STLS as Security
    // says; check ErrorFlag afterwards. Throws platform::NetError when TLS cannot be set up
    // (the connection is closed then).
    void Connect();
    // USER and PASS. Throws EPopError when not connected and EMailArgumentError when the user
    // name or password holds a line break or NUL (nothing is sent then).
    bool Login();
    // STAT, then LAST: messages minus the number LAST reports; 0 when LAST is refused.
    std::uint16_t CountNewMessages();
    // A new message owned by the component, or nullptr when refused or cancelled.
    TOrbMsg* RetrieveMessage(int number);
    TOrbMsg* RetrieveHeader(int number);
    // Clears the list, releases the messages of the previous RetrieveAll of this component
    // (references to them in any list become invalid) and retrieves every message.
    int RetrieveAll(TOrbMsgList& list, bool headers_only = false);
    // The same commands as RetrieveAll, with the same retrieve events, but every message is
    // read to its end and dropped: memory stays flat whatever the mailbox holds. Returns the
    // number of messages read.
    int RetrieveAndDiscardAll();
    void Quit();

    // One status reply (the first line and whatever arrived with it).
    std::string ReadStatus();

    std::uint16_t LastRetrievePercent() const { return last_retrieve_percent_; }
    std::uint16_t LastDecodePercent() const { return last_decode_percent_; }
    // Messages the component currently owns.
    std::size_t OwnedMessageCount() const { return owned_.size() + batch_.size(); }

    static constexpr const char* kClosedStatusText = "Connection closed by server";
    static constexpr const char* kSilentStatusText = "No reply from server";

private:
    TOrbMsg* Retrieve(int number, bool with_body);
    // LIST and RETR (or TOP) of one message, read to its end mark. `keep`: receives the data
    // (status line and end mark included); without it only the last bytes are held. False
    // when refused, cancelled or cut off (the error routine has run unless cancelled).
    bool ReadMessage(int number, bool with_body, std::string* keep, long long& size);
    void Command(const std::string& command);
    void ErrorRoutine(int code);
    void StartTls();
    void CloseSocket();
    bool ReadChunk(std::string& chunk);

    TMailSocket socket_;
    std::vector<std::unique_ptr<TOrbMsg>> owned_;  // single retrievals
    std::vector<std::unique_ptr<TOrbMsg>> batch_;  // the last RetrieveAll
    bool in_retrieve_all_ = false;
    std::uint16_t last_retrieve_percent_ = 0;
    std::uint16_t last_decode_percent_ = 0;
};

}  // namespace mail

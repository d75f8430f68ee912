#pragma once
// The mail message, its attachments, the list of received messages, and the rendering of a
// message into the lines sent after DATA.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mail {

enum TPriority { prHighest = 0, prHigh = 1, prNormal = 2, prLow = 3, prLowest = 4 };

// What rendering needs from the sending session (implemented by TOrbSMTP).
struct RenderSession {
    virtual ~RenderSession() = default;
    virtual std::string LocalHostName() = 0;
    virtual bool AbortRequested() = 0;
    // Percent step between encode progress reports.
    virtual unsigned EncodeProgressStep() = 0;
    virtual void EncodeStart(const std::string& name, std::uint64_t bytes) = 0;
    virtual void EncodeProgress(unsigned percent) = 0;
    virtual void EncodeEnd() = 0;
    // Lets queued user-interface events run.
    virtual void PumpEvents() = 0;
};

struct TAttachedFile {
    std::string FileName;  // name in the part headers (JIS when it holds Japanese)
    std::string FilePath;  // file to send; on receipt the name found in the part
    std::vector<std::string> EncodedLines;
    std::string Data;  // bytes of a received attachment
    std::string ContentType;
};

class TAttachedFiles {
public:
    // Appends an item for the file and fills FileName, FilePath and ContentType.
    TAttachedFile& AddFile(const std::string& path);
    TAttachedFile& Add();
    static std::string ContentTypeForFile(const std::string& path);

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    TAttachedFile& operator[](int index) { return items_.at(static_cast<std::size_t>(index)); }
    const TAttachedFile& operator[](int index) const {
        return items_.at(static_cast<std::size_t>(index));
    }
    void Delete(int index);
    void Clear() { items_.clear(); }
    std::vector<TAttachedFile>::iterator begin() { return items_.begin(); }
    std::vector<TAttachedFile>::iterator end() { return items_.end(); }

private:
    std::vector<TAttachedFile> items_;
};

class TOrbMsg {
public:
    // Properties; text is Shift_JIS unless said otherwise.
    std::string UserName;
    std::string JPName;  // sender's display name
    std::string From;
    std::string ReplyTo;
    std::string SendTo;  // comma-separated
    std::string CC;
    std::string BCC;  // never written into the header
    std::string Subject;
    std::vector<std::string> Text;  // body lines without line ends
    std::vector<std::string> ExtraHeaders;
    TPriority Priority = prNormal;
    std::string CharSet = "ISO-8859-1";

    // Fields filled on receipt (and Date/InReplyTo on sending).
    std::string Sender;
    std::string MessageId;
    std::string InReplyTo;
    std::string ReturnPath;
    std::string Date;
    std::string ContentType = "TEXT/PLAIN";
    std::string TransferEncoding = "7BIT";
    std::vector<std::string> RawHeader;
    std::int64_t Size = 0;
    TAttachedFiles AttachedFiles;

    // Back to the defaults.
    void Clear() { *this = TOrbMsg(); }
};

// Ordered references to received messages; does not own them.
class TOrbMsgList {
public:
    void Add(TOrbMsg* message) { items_.push_back(message); }
    int Count() const { return static_cast<int>(items_.size()); }
    TOrbMsg* operator[](int index) const { return items_.at(static_cast<std::size_t>(index)); }
    void Delete(int index);
    void Clear() { items_.clear(); }
    int IndexOf(const TOrbMsg* message) const;

private:
    std::vector<TOrbMsg*> items_;
};

// The values of a message a caller fills in, as named by checks that refuse one.
enum class MessageField {
    UserName,
    JPName,
    From,
    ReplyTo,
    SendTo,
    CC,
    BCC,
    Subject,
    InReplyTo,
    ExtraHeaders,
    CharSet,
    AttachedFiles,
};

// The property name of a field ("Subject"), for messages.
const char* FieldName(MessageField field);

// The first header value holding CR, LF or NUL: written into a header line it would end that
// line early and start one of its own (a "Bcc:", say).
std::optional<MessageField> FindUnsafeHeader(const TOrbMsg& message);

// Text of the X-Mailer header.
inline constexpr const char* MailerTitle = "Fernlay";

// The header lines, an empty line and the body lines. Stores the rendered address, subject
// and name values back into the message. nullopt when the session aborted during attachment
// encoding. Throws EMailArgumentError when FindUnsafeHeader finds a value, and
// platform::FileError when an attached file cannot be read.
std::optional<std::vector<std::string>> RenderMessage(RenderSession& session, TOrbMsg& message);

}  // namespace mail

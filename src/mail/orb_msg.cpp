#include "mail/orb_msg.h"

#include <algorithm>

#include "mail/jconvert.h"
#include "mail/mail_transport.h"
#include "mail/orb_util.h"
#include "platform/mime_types.h"
#include "platform/sjis.h"

namespace mail {
namespace {

constexpr std::string_view kJisWordStart = "=?ISO-2022-JP?B?";

// Position after the last "\" or "/" that is a whole character (not a trail byte), or 0.
std::size_t NameStart(const std::string& path) {
    std::size_t start = 0;
    for (std::size_t p = 0;
         (p = platform::sjis::FindAnyOf(path, "\\/", p)) != platform::sjis::npos;)
        start = ++p;
    return start;
}

// Already a rendered word: a second rendering must not wrap it again.
bool IsJisWord(std::string_view text) {
    return text.size() >= kJisWordStart.size() + 2 &&
           text.substr(0, kJisWordStart.size()) == kJisWordStart &&
           text.substr(text.size() - 2) == "?=";
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A display name as rendering leaves it: an encoded word or a quoted string.
bool IsRenderedName(std::string_view text) {
    return IsJisWord(text) || (text.size() >= 2 && text.front() == '"' && text.back() == '"');
}

bool IsAscii(std::string_view text) { return DetectCode(text) == JapaneseCode::Ascii; }

std::string ToJis(std::string_view sjis) {
    return ConvertCodeFrom(sjis, JapaneseCode::Sjis, JapaneseCode::JisNew);
}

std::string TransferEncodingLine(const std::string& charset) {
    return charset.find("2022-") != std::string::npos ? "Content-Transfer-Encoding: 7bit"
                                                      : "Content-Transfer-Encoding: 8bit";
}

}  // namespace

TAttachedFile& TAttachedFiles::Add() { return items_.emplace_back(); }

TAttachedFile& TAttachedFiles::AddFile(const std::string& path) {
    TAttachedFile& item = Add();
    item.FilePath = path;
    const std::string name = path.substr(NameStart(path));
    item.FileName = IsAscii(name) ? name : SjisToJis(name);
    item.ContentType = ContentTypeForFile(path);
    return item;
}

std::string TAttachedFiles::ContentTypeForFile(const std::string& path) {
    const std::string name = path.substr(NameStart(path));
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return platform::DefaultMimeType;
    return platform::MimeTypeForExtension(std::string_view(name).substr(dot));
}

void TAttachedFiles::Delete(int index) {
    items_.erase(items_.begin() + (&(*this)[index] - items_.data()));
}

void TOrbMsgList::Delete(int index) {
    (void)(*this)[index];  // range check
    items_.erase(items_.begin() + index);
}

int TOrbMsgList::IndexOf(const TOrbMsg* message) const {
    const auto it = std::find(items_.begin(), items_.end(), message);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

const char* FieldName(MessageField field) {
    switch (field) {
        case MessageField::UserName:
            return "UserName";
        case MessageField::JPName:
            return "JPName";
        case MessageField::From:
            return "From";
        case MessageField::ReplyTo:
            return "ReplyTo";
        case MessageField::SendTo:
            return "SendTo";
        case MessageField::CC:
            return "CC";
        case MessageField::BCC:
            return "BCC";
        case MessageField::Subject:
            return "Subject";
        case MessageField::InReplyTo:
            return "InReplyTo";
        case MessageField::ExtraHeaders:
            return "ExtraHeaders";
        case MessageField::CharSet:
            return "CharSet";
        case MessageField::AttachedFiles:
            return "AttachedFiles";
    }
    return "?";
}

std::optional<MessageField> FindUnsafeHeader(const TOrbMsg& message) {
    const std::pair<MessageField, const std::string*> values[] = {
        {MessageField::UserName, &message.UserName},
        {MessageField::JPName, &message.JPName},
        {MessageField::From, &message.From},
        {MessageField::ReplyTo, &message.ReplyTo},
        {MessageField::SendTo, &message.SendTo},
        {MessageField::CC, &message.CC},
        {MessageField::BCC, &message.BCC},
        {MessageField::Subject, &message.Subject},
        {MessageField::InReplyTo, &message.InReplyTo},
        {MessageField::CharSet, &message.CharSet},
    };
    for (const auto& [field, value] : values)
        if (HasLineBreakOrNul(*value)) return field;
    for (const std::string& line : message.ExtraHeaders)
        if (HasLineBreakOrNul(line)) return MessageField::ExtraHeaders;
    for (int i = 0; i < message.AttachedFiles.Count(); ++i) {
        const TAttachedFile& file = message.AttachedFiles[i];
        if (HasLineBreakOrNul(file.FileName) || HasLineBreakOrNul(file.ContentType))
            return MessageField::AttachedFiles;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> RenderMessage(RenderSession& session, TOrbMsg& message) {
    if (const auto field = FindUnsafeHeader(message))
        throw EMailArgumentError(std::string("Line break or NUL in ") + FieldName(*field) + ".");
    // Body: converted to JIS only when the whole text reads as Shift_JIS.
    std::vector<std::string> body = message.Text;
    std::string whole;
    for (const std::string& line : body) {
        whole += line;
        whole += "\r\n";
    }
    if (DetectCode(whole) == JapaneseCode::Sjis) {
        for (std::string& line : body) {
            line = SjisToJis(line);
            line += JisAsciiEscape;
        }
    }
    for (std::string& line : body)
        if (!line.empty() && line.front() == '.') line.insert(line.begin(), '.');

    std::vector<std::string> lines;
    lines.push_back("Message-Id: " + MakeMessageId(session.LocalHostName()));
    if (!message.InReplyTo.empty()) lines.push_back("In-Reply-To: " + message.InReplyTo);
    lines.push_back("Date: " + message.Date);
    lines.push_back("X-Priority: " + std::to_string(static_cast<int>(message.Priority) + 1));

    if (message.JPName.empty()) {
        lines.push_back("From: " + message.From);
    } else {
        if (!IsRenderedName(message.JPName)) message.JPName = EncodeDisplayName(message.JPName);
        message.From = ToJis(message.From);
        lines.push_back("From: " + message.JPName + " <" + message.From + ">");
    }

    if (!message.ReplyTo.empty()) {
        const std::size_t lt = message.ReplyTo.find('<');
        if (lt == std::string::npos)
            message.ReplyTo = ToJis(message.ReplyTo);
        else if (!IsJisWord(TrimRight(message.ReplyTo.substr(0, lt))))
            message.ReplyTo = EncodeAddress(message.ReplyTo);
        lines.push_back("Reply-To: " + message.ReplyTo);
    }

    lines.push_back(std::string("X-Mailer: ") + MailerTitle);
    if (!IsAscii(message.SendTo)) message.SendTo = EncodeAddressList(message.SendTo);
    lines.push_back("To: " + message.SendTo);
    if (!message.CC.empty()) {
        if (!IsAscii(message.CC)) message.CC = EncodeAddressList(message.CC);
        lines.push_back("CC: " + message.CC);
    }
    if (!IsAscii(message.Subject)) message.Subject = EncodeHeaderWord(message.Subject);
    lines.push_back("Subject: " + message.Subject);
    lines.push_back("MIME-Version: 1.0");

    const bool multipart = !message.AttachedFiles.Empty();
    const std::string boundary = multipart ? MakeBoundary() : std::string();
    if (multipart) {
        lines.push_back("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"");
    } else {
        lines.push_back("Content-Type: Text/Plain; charset=" + message.CharSet);
        lines.push_back(TransferEncodingLine(message.CharSet));
    }
    lines.insert(lines.end(), message.ExtraHeaders.begin(), message.ExtraHeaders.end());
    lines.emplace_back();

    if (!multipart) {
        lines.insert(lines.end(), body.begin(), body.end());
        return lines;
    }

    const std::string delimiter = "--" + boundary;
    lines.push_back(delimiter);
    lines.push_back("Content-Type: Text/Plain; charset=" + message.CharSet);
    lines.push_back(TransferEncodingLine(message.CharSet));
    lines.emplace_back();
    lines.insert(lines.end(), body.begin(), body.end());
    for (TAttachedFile& file : message.AttachedFiles) {
        lines.push_back(delimiter);
        lines.push_back("Content-Type: " + file.ContentType + "; name=\"" + file.FileName + "\"");
        lines.push_back("Content-Transfer-Encoding: base64");
        lines.push_back("Content-Disposition: inline; FileName=\"" + file.FileName + "\"");
        lines.emplace_back();
        auto encoded = EncodeAttachmentFile(session, file.FilePath, file.FileName);
        if (!encoded || session.AbortRequested()) return std::nullopt;
        file.EncodedLines = std::move(*encoded);
        lines.insert(lines.end(), file.EncodedLines.begin(), file.EncodedLines.end());
    }
    lines.emplace_back();
    lines.push_back(delimiter + "--");
    lines.emplace_back();
    return lines;
}

}  // namespace mail

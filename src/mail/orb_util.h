#pragma once
// MIME codecs of the mail family (Base64, encoded words, quoted-printable, uuencode) and the
// builders of dates, Message-Ids and boundaries.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/error.h"

namespace mail {

struct RenderSession;  // orb_msg.h

// Raised by DecodeUuencode with the component's format-error text.
class EUudecodeError : public platform::Error {
public:
    using platform::Error::Error;
    ~EUudecodeError() override;
};

// One piece, padded with "=", no line breaks.
std::string EncodeBase64(std::string_view bytes);
// CR and LF are ignored; a trailing group of fewer than 4 characters is ignored.
std::string DecodeBase64(std::string_view text);

// Shift_JIS text -> "=?ISO-2022-JP?B?" + Base64(JIS + ESC ( B) + "?=".
std::string EncodeHeaderWord(std::string_view sjis);
// A sender's display name for a name-addr: an encoded word when it holds Japanese, otherwise
// the ASCII text as it is, or as a quoted string where it holds specials.
std::string EncodeDisplayName(std::string_view sjis);
// display "<" address ">" -> encoded display word, a blank, and the "<" part in JIS. Blanks
// before "<" are dropped from the display part. Without "<", the word for an empty display
// part directly followed by the whole text in JIS.
std::string EncodeAddress(std::string_view sjis);
// For address texts holding Japanese: splits at "," and encodes each element.
std::string EncodeAddressList(std::string_view sjis);

// Attachment encoder: reads the file in blocks of 2280 bytes and yields 76-character Base64
// lines, reporting start, progress and end through the session. Returns nullopt when the
// session's AbortRequested was set. Throws platform::FileError when the file cannot be read.
std::optional<std::vector<std::string>> EncodeAttachmentFile(RenderSession& session,
                                                             const std::string& filePath,
                                                             const std::string& displayName);

// Expands every "=?ISO-2022-JP?B?...?=" word to its JIS bytes followed by ESC ( J.
std::string DecodeJisWords(std::string_view header);
// Expands every B or Q encoded word and converts the result to Shift_JIS.
std::string DecodeHeaderWords(std::string_view header);
// underscoreRule: "_" becomes a space (Q words of headers only).
std::string DecodeQuotedPrintable(std::string_view text, bool underscoreRule);
// lines: the lines after the "begin" line, without line ends. Throws EUudecodeError with
// formatErrorText on a character outside the uuencode alphabet.
std::string DecodeUuencode(const std::vector<std::string>& lines,
                           const std::string& formatErrorText);

// "Mon, 7 Dec 2026 06:43:15 +0900"; the zone is that of the moment of the call.
std::string FormatMailDate(const platform::DateTime& dateTime);
// "GMT", "+hhmm" or "-hhmm" for the current local zone.
std::string ZoneText();
std::string ZoneText(int offsetMinutes);
// "<ORB.yyyy.mm.dd." + 8 letters a..t + "@" + host + ">"
std::string MakeMessageId(const std::string& host);
// "--_ORB_bound_" + 12 letters a..y
std::string MakeBoundary();

}  // namespace mail

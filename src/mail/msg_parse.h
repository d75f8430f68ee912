#pragma once
// Fills a TOrbMsg from a retrieved message: header fields, the text body in Shift_JIS and the
// attachments decoded into memory. The input is untrusted: any byte sequence parses without
// crashing, and nesting (multipart, message/rfc822) is followed only to a fixed depth.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mail/orb_msg.h"

namespace mail {

using Lines = std::vector<std::string>;

// Decoding options and events of the owning component.
struct ParseOptions {
    std::string FormatErrorText = "Error en el formato del mensaje.";
    unsigned DecodeProgressStep = 10;
    std::function<void(const std::string& name, std::int64_t line_count)> OnDecodeStart;
    std::function<void(std::uint16_t percent)> OnDecodeProgress;
    std::function<void()> OnDecodeEnd;
};

// name in upper case with its colon ("FROM:"). The header's value with continuation lines
// joined, trimmed and cut before the first ";"; empty when the header is not there.
std::string FindHeader(const std::string& name, const Lines& lines);
// The same without the cut at ";", for reading parameters.
std::string FindHeaderWhole(const std::string& name, const Lines& lines);

// Sender and CC: "display" <address>, joined with ", ".
std::string AddressListForm(const std::string& value);
// To: quotes removed, every address decoded to Shift_JIS, joined with ",".
std::string RecipientForm(const std::string& value);
// One address: the display part decoded from JIS words to Shift_JIS, the "<" part converted.
std::string DecodeOneAddress(const std::string& value);

struct PartDescriptor {
    std::string MediaType = "TEXT/PLAIN";  // upper case
    std::string Name;                      // Shift_JIS, may be empty
    std::string Encoding = "7BIT";         // upper case
};
PartDescriptor ReadPartHeader(const Lines& lines);

// Removes the lines up to the first blank line and the blank lines after it.
void DropHeaderBlock(Lines& lines);

// Leaf parts of a multipart list (each with its own part header); a list that is not
// multipart, or whose boundary never appears, is one part.
std::vector<Lines> SplitMultipart(const Lines& lines);

// Header fields always; body and attachments only when with_body. Throws EUudecodeError with
// options.FormatErrorText on a malformed uuencoded line.
void ParseReceivedMessage(const Lines& lines, TOrbMsg& message, bool with_body,
                          const ParseOptions& options);

// Splits text at CR LF, LF or CR; a line end at the very end adds no empty line.
Lines SplitTextLines(const std::string& text);

}  // namespace mail

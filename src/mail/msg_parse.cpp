#include "mail/msg_parse.h"

#include <cstring>

#include "mail/jconvert.h"
#include "mail/mail_transport.h"
#include "mail/orb_smtp.h"
#include "mail/orb_util.h"
#include "platform/sjis.h"

namespace mail {

namespace {

// Hostile mail may nest multiparts or message/rfc822 parts without end; deeper levels are
// taken as plain lines.
constexpr int kMaxDepth = 16;

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool StartsWithNoCase(const std::string& line, const std::string& upper_prefix) {
    if (line.size() < upper_prefix.size()) return false;
    for (std::size_t i = 0; i < upper_prefix.size(); ++i) {
        char c = line[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper_prefix[i]) return false;
    }
    return true;
}

bool IsBlank(const std::string& line) {
    for (char c : line) {
        if (static_cast<unsigned char>(c) > ' ') return false;
    }
    return true;
}

std::string CutAtSemicolon(const std::string& text) {
    const std::size_t semi = platform::sjis::Find(text, ';');
    return semi == std::string::npos ? text : text.substr(0, semi);
}

std::string JoinLines(const Lines& lines, std::size_t from = 0) {
    std::string text;
    std::size_t total = 0;
    for (std::size_t i = from; i < lines.size(); ++i) total += lines[i].size() + 2;
    text.reserve(total);
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (i > from) text += "\r\n";
        text += lines[i];
    }
    return text;
}

void AppendLines(Lines& to, const Lines& from) { to.insert(to.end(), from.begin(), from.end()); }

// Removes the characters a file name must not hold; trail bytes of double-byte characters stay.
std::string CleanFileName(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t len = platform::sjis::CharLength(name, i);
        if (len == 1 && std::strchr("\\/:*?\"<>|", name[i]) != nullptr && name[i] != '\0') {
            ++i;
            continue;
        }
        out.append(name, i, len);
        i += len;
    }
    return out;
}

// The name with its extension replaced (or added).
std::string ChangeExtension(const std::string& name, const std::string& ext) {
    const std::size_t dot = platform::sjis::RFind(name, '.');
    const std::size_t sep = platform::sjis::FindAnyOf(name, "\\:/");
    std::size_t last_sep = std::string::npos;
    for (std::size_t p = sep; p != std::string::npos;
         p = platform::sjis::FindAnyOf(name, "\\:/", p + 1)) {
        last_sep = p;
    }
    if (dot != std::string::npos && (last_sep == std::string::npos || dot > last_sep)) {
        return name.substr(0, dot) + ext;
    }
    return name + ext;
}

// Value of a parameter such as NAME or BOUNDARY in a header value: the text after "<param> =".
std::string ParameterValue(const std::string& value, const std::string& upper_param) {
    const std::string upper = Upper(value);
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = upper.find(upper_param, from);
        if (at == std::string::npos) return {};
        std::size_t p = at + upper_param.size();
        while (p < value.size() && (value[p] == ' ' || value[p] == '\t')) ++p;
        if (p < value.size() && value[p] == '=') return value.substr(p);
        from = at + 1;
    }
}

std::string StripOneQuotePair(const std::string& text) {
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

std::string ToSjisFromWords(const std::string& text) {
    return ConvertCode(DecodeJisWords(text), JapaneseCode::Sjis);
}

// Removes quoted parts: a "..." pair at a time; a lone last quote goes as well.
std::string RemoveQuotedParts(std::string text) {
    for (;;) {
        const std::size_t first = text.find('"');
        if (first == std::string::npos) break;
        const std::size_t second = text.find('"', first + 1);
        if (second == std::string::npos) {
            text.erase(first, 1);
            break;
        }
        text.erase(first, second - first + 1);
    }
    return text;
}

bool IsUuencodeStart(const std::string& line) {
    if (line.size() <= 10 || !StartsWithNoCase(line, "BEGIN")) return false;
    const std::string mode = TrimBlanks(line.substr(6, 3));
    if (mode.empty()) return false;
    int value = 0;
    for (char c : mode) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 776;
}

std::vector<Lines> SplitAt(const Lines& lines, int depth);

class Parser {
public:
    Parser(TOrbMsg& message, const ParseOptions& options) : msg_(message), opt_(options) {}

    void Body(Lines lines, const PartDescriptor& desc, int depth);

private:
    void TextBody(Lines lines, const std::string& encoding);
    void DecodedText(const Lines& lines, const std::string& encoding);
    void MakeAttachment(const Lines& lines, std::string name, const std::string& encoding,
                        const std::string& type);
    void Progress(std::size_t index, std::size_t count, unsigned& threshold, std::uint16_t& last);

    TOrbMsg& msg_;
    const ParseOptions& opt_;
};

void Parser::Body(Lines lines, const PartDescriptor& desc, int depth) {
    const std::string& type = desc.MediaType;
    if (type.find("TEXT") != std::string::npos) {
        DropHeaderBlock(lines);
        TextBody(std::move(lines), desc.Encoding);
    } else if (type == "MESSAGE/RFC822") {
        DropHeaderBlock(lines);
        if (depth >= kMaxDepth) {
            AppendLines(msg_.Text, lines);
            return;
        }
        const PartDescriptor inner = ReadPartHeader(lines);
        Body(std::move(lines), inner, depth + 1);
    } else if (type.find("MULTIPART") == std::string::npos) {
        DropHeaderBlock(lines);
        const std::string& enc = desc.Encoding;
        if (enc == "BASE64" || enc == "QUOTED-PRINTABLE" || enc == "X-UUENCODE") {
            MakeAttachment(lines, desc.Name, enc, type);
        } else {
            AppendLines(msg_.Text, lines);
        }
    } else {
        for (Lines& part : SplitAt(lines, depth)) {
            const PartDescriptor pd = ReadPartHeader(part);
            DropHeaderBlock(part);
            if (pd.MediaType == "MESSAGE/RFC822" && depth < kMaxDepth) {
                const PartDescriptor inner = ReadPartHeader(part);
                Body(std::move(part), inner, depth + 1);
            } else if (pd.MediaType == "TEXT/HTML" || pd.Encoding == "X-UUENCODE" ||
                       !pd.Name.empty()) {
                MakeAttachment(part, pd.Name, pd.Encoding, pd.MediaType);
            } else {
                DecodedText(part, pd.Encoding);
            }
        }
    }
}

// A text body: uuencoded blocks become attachments, the rest is decoded into Text.
void Parser::TextBody(Lines lines, const std::string& encoding) {
    Lines rest;
    std::size_t i = 0;
    while (i < lines.size()) {
        if (!IsUuencodeStart(lines[i])) {
            rest.push_back(std::move(lines[i++]));
            continue;
        }
        std::size_t stop = i + 1;
        while (stop < lines.size() && lines[stop] != "end") ++stop;
        Lines block;
        block.push_back(lines[i]);
        for (std::size_t k = i + 1; k < stop; ++k) {
            if (!lines[k].empty()) block.push_back(std::move(lines[k]));
        }
        // The "end" line stays in the text.
        MakeAttachment(block, TrimBlanks(lines[i].substr(10, 64)), "X-UUENCODE",
                       "APPLICATION/OCTET-STREAM");
        i = stop;
    }
    DecodedText(rest, encoding);
}

void Parser::DecodedText(const Lines& lines, const std::string& encoding) {
    if (encoding == "QUOTED-PRINTABLE") {
        AppendLines(msg_.Text, SplitTextLines(DecodeQuotedPrintable(JoinLines(lines), false)));
    } else if (encoding == "BASE64") {
        AppendLines(msg_.Text, SplitTextLines(DecodeBase64(JoinLines(lines))));
    } else {
        AppendLines(msg_.Text, lines);
    }
}

void Parser::Progress(std::size_t index, std::size_t count, unsigned& threshold,
                      std::uint16_t& last) {
    const std::uint16_t percent = RoundedPercent(index + 1, count);
    last = percent;
    if (percent >= threshold) {
        if (opt_.OnDecodeProgress) opt_.OnDecodeProgress(percent);
        threshold += opt_.DecodeProgressStep == 0 ? 1 : opt_.DecodeProgressStep;
        RunPendingEvents();
    }
}

void Parser::MakeAttachment(const Lines& lines, std::string name, const std::string& encoding,
                            const std::string& type) {
    if (type == "TEXT/HTML" && name.empty()) name = ChangeExtension(msg_.Subject, ".html");
    name = CleanFileName(name);
    TAttachedFile& item = msg_.AttachedFiles.AddFile(name);
    if (opt_.OnDecodeStart) opt_.OnDecodeStart(name, static_cast<std::int64_t>(lines.size()));
    unsigned threshold = opt_.DecodeProgressStep;
    std::uint16_t last = 0;
    const std::size_t n = lines.size();
    if (encoding == "BASE64") {
        item.EncodedLines = lines;
        std::string pending;
        for (std::size_t i = 0; i < n; ++i) {
            for (char c : lines[i]) {
                if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '+' || c == '/' || c == '=') {
                    pending += c;
                }
            }
            // Decode whole groups; a group holding "=" is decoded as a piece of its own.
            std::size_t done = 0;
            while (pending.size() - done >= 4) {
                const std::size_t pad = pending.find('=', done);
                std::size_t end;
                if (pad == std::string::npos) {
                    end = done + (pending.size() - done) / 4 * 4;
                } else if (pad - done >= 4) {
                    end = done + (pad - done) / 4 * 4;
                } else {
                    end = done + 4;
                }
                item.Data += DecodeBase64(std::string_view(pending).substr(done, end - done));
                done = end;
            }
            pending.erase(0, done);
            Progress(i, n, threshold, last);
        }
        item.EncodedLines.clear();
    } else if (encoding == "X-UUENCODE") {
        item.EncodedLines = lines;
        std::size_t i = 0;
        if (i < n && StartsWithNoCase(lines[i], "BEGIN")) ++i;
        for (; i < n; ++i) {
            if (lines[i] == "end" || lines[i] == "`") break;
            item.Data += DecodeUuencode(Lines{lines[i]}, opt_.FormatErrorText);
            Progress(i, n, threshold, last);
        }
        item.EncodedLines.clear();
    } else if (encoding == "QUOTED-PRINTABLE") {
        item.Data = DecodeQuotedPrintable(JoinLines(lines), false);
    } else {
        item.Data = JoinLines(lines);
    }
    if (last < 100 && opt_.OnDecodeProgress) opt_.OnDecodeProgress(100);
    if (opt_.OnDecodeEnd) opt_.OnDecodeEnd();
}

// One part: split again when it is itself multipart.
void AddPart(std::vector<Lines>& parts, Lines part, int depth) {
    if (depth >= kMaxDepth) {
        parts.push_back(std::move(part));
        return;
    }
    for (Lines& leaf : SplitAt(part, depth + 1)) parts.push_back(std::move(leaf));
}

std::vector<Lines> SplitAt(const Lines& lines, int depth) {
    const std::string type = FindHeaderWhole("CONTENT-TYPE:", lines);
    if (Upper(type).find("MULTIPART") == std::string::npos) return {lines};
    std::string boundary = ParameterValue(type, "BOUNDARY");
    if (!boundary.empty()) boundary = TrimBlanks(boundary.substr(1));
    if (!boundary.empty() && boundary[0] == '"') {
        const std::size_t close = boundary.find('"', 1);
        boundary = boundary.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        boundary = TrimBlanks(CutAtSemicolon(boundary));
    }
    if (boundary.empty()) return {lines};
    const std::string delimiter = "--" + boundary;
    const std::string close_delimiter = delimiter + "--";

    Lines body = lines;
    DropHeaderBlock(body);
    std::size_t i = 0;
    // Transport padding after a delimiter is allowed.
    auto is = [](const std::string& line, const std::string& what) {
        if (line.compare(0, what.size(), what) != 0) return false;
        for (std::size_t k = what.size(); k < line.size(); ++k) {
            if (line[k] != ' ' && line[k] != '\t' && line[k] != '\r') return false;
        }
        return true;
    };
    while (i < body.size() && !is(body[i], delimiter)) ++i;
    if (i == body.size()) return {lines};
    std::vector<Lines> parts;
    Lines current;
    for (++i; i < body.size(); ++i) {
        if (is(body[i], close_delimiter)) break;
        if (is(body[i], delimiter)) {
            AddPart(parts, std::move(current), depth);
            current.clear();
        } else {
            current.push_back(std::move(body[i]));
        }
    }
    AddPart(parts, std::move(current), depth);
    return parts;
}

std::string HeaderValue(const std::string& name, const Lines& lines, bool cut) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty()) break;
        if (!StartsWithNoCase(lines[i], name)) continue;
        std::string value = lines[i].substr(name.size());
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            const std::string& next = lines[j];
            if (next.empty() || (next[0] != ' ' && next[0] != '\t')) break;
            value += TrimBlanks(next);
        }
        value = TrimBlanks(value);
        return cut ? TrimBlanks(CutAtSemicolon(value)) : value;
    }
    return {};
}

}  // namespace

Lines SplitTextLines(const std::string& text) {
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t brk = text.find_first_of("\r\n", start);
        if (brk == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, brk - start));
        start =
            brk + ((text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

std::string FindHeader(const std::string& name, const Lines& lines) {
    return HeaderValue(name, lines, true);
}

std::string FindHeaderWhole(const std::string& name, const Lines& lines) {
    return HeaderValue(name, lines, false);
}

std::string AddressListForm(const std::string& value) {
    const std::string text = RemoveQuotedParts(value);
    std::string result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = platform::sjis::Find(text, ',', start);
        const std::string piece =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::string display = DecodeHeaderWords(piece);
        const std::size_t lt = platform::sjis::Find(display, '<');
        if (lt != std::string::npos) {
            const std::size_t gt = platform::sjis::Find(display, '>', lt);
            display.erase(lt, gt == std::string::npos ? std::string::npos : gt - lt + 1);
        }
        const std::size_t open = platform::sjis::Find(display, '(');
        if (open != std::string::npos) {
            const std::size_t close = platform::sjis::Find(display, ')', open);
            if (close != std::string::npos) display = display.substr(open + 1, close - open - 1);
        }
        std::string stripped;
        for (std::size_t i = 0; i < display.size();) {
            const std::size_t len = platform::sjis::CharLength(display, i);
            if (!(len == 1 && (display[i] == '"' || display[i] == '\''))) {
                stripped.append(display, i, len);
            }
            i += len;
        }
        if (!result.empty()) result += ", ";
        result += "\"" + TrimBlanks(stripped) + "\" <" + ExtractAddress(piece) + ">";
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return result;
}

std::string DecodeOneAddress(const std::string& value) {
    const std::size_t lt = value.find('<');
    std::string display = value.substr(0, lt);
    display = TrimBlanks(ToSjisFromWords(display));
    if (display.size() >= JisRomanEscape.size() &&
        display.compare(display.size() - JisRomanEscape.size(), JisRomanEscape.size(),
                        JisRomanEscape) == 0) {
        display.erase(display.size() - JisRomanEscape.size());
    }
    if (lt == std::string::npos) return display;
    return display + ConvertCode(value.substr(lt), JapaneseCode::Sjis);
}

std::string RecipientForm(const std::string& value) {
    std::string text;
    for (char c : value) {
        if (c != '"') text += c;
    }
    if (text.find(',') == std::string::npos) return DecodeOneAddress(text);
    std::string result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        std::string piece =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        while (!piece.empty() && static_cast<unsigned char>(piece.back()) <= ' ') piece.pop_back();
        if (start > 0) result += ",";
        result += DecodeOneAddress(piece);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return result;
}

PartDescriptor ReadPartHeader(const Lines& lines) {
    PartDescriptor d;
    const std::string type = FindHeaderWhole("CONTENT-TYPE:", lines);
    std::string name;
    if (!type.empty()) {
        d.MediaType = Upper(TrimBlanks(CutAtSemicolon(type)));
        name = ParameterValue(type, "NAME");
    }
    const std::string encoding = FindHeader("CONTENT-TRANSFER-ENCODING:", lines);
    if (!encoding.empty()) d.Encoding = Upper(encoding);
    if (name.empty()) {
        name = ParameterValue(FindHeaderWhole("CONTENT-DISPOSITION:", lines), "FILENAME");
    }
    if (!name.empty()) {
        name = TrimBlanks(CutAtSemicolon(name.substr(1)));
        name = DecodeHeaderWords(StripOneQuotePair(name));
        if (DetectCode(name) != JapaneseCode::Ascii) name = ToSjisFromWords(name);
        d.Name = name;
    }
    return d;
}

void DropHeaderBlock(Lines& lines) {
    std::size_t i = 0;
    while (i < lines.size() && !IsBlank(lines[i])) ++i;
    while (i < lines.size() && IsBlank(lines[i])) ++i;
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(i));
}

std::vector<Lines> SplitMultipart(const Lines& lines) { return SplitAt(lines, 0); }

void ParseReceivedMessage(const Lines& lines, TOrbMsg& m, bool with_body,
                          const ParseOptions& options) {
    m.RawHeader.clear();
    for (const std::string& line : lines) {
        if (line.empty()) break;
        m.RawHeader.push_back(line);
    }
    if (!lines.empty() && lines[0].size() > 5) m.From = lines[0].substr(5, 72);

    std::string v;
    if (!(v = FindHeader("FROM:", lines)).empty()) m.From = DecodeHeaderWords(v);
    if (!(v = FindHeader("SENDER:", lines)).empty()) m.Sender = AddressListForm(v);
    if (!(v = FindHeader("MESSAGE-ID:", lines)).empty()) m.MessageId = v;
    if (!(v = FindHeader("IN-REPLY-TO:", lines)).empty()) m.InReplyTo = v;
    if (!(v = FindHeader("RETURN-PATH:", lines)).empty()) m.ReturnPath = v;
    if (!(v = FindHeader("REPLY-TO:", lines)).empty()) m.ReplyTo = DecodeHeaderWords(v);
    if (!(v = FindHeader("TO:", lines)).empty()) m.SendTo = RecipientForm(v);
    if (!(v = FindHeader("CC:", lines)).empty()) m.CC = AddressListForm(v);
    if (!(v = FindHeader("DATE:", lines)).empty()) m.Date = v;
    if (!(v = FindHeader("SUBJECT:", lines)).empty()) m.Subject = DecodeHeaderWords(v);
    v = FindHeader("CONTENT-TYPE:", lines);
    m.ContentType = v.empty() ? "TEXT/PLAIN" : Upper(v);
    v = FindHeader("CONTENT-TRANSFER-ENCODING:", lines);
    m.TransferEncoding = v.empty() ? "7BIT" : Upper(v);

    if (with_body) {
        Parser parser(m, options);
        parser.Body(lines, ReadPartHeader(lines), 0);
    }

    // Final conversion to Shift_JIS.
    const std::string text = JoinLines(m.Text);
    if (DetectCode(text) == JapaneseCode::JisNew) {
        // Lines hold no CR or LF of their own, so splitting at CR LF gives the same count back.
        const std::string sjis = ConvertCode(text, JapaneseCode::Sjis);
        m.Text.clear();
        std::size_t start = 0;
        for (;;) {
            const std::size_t brk = sjis.find("\r\n", start);
            m.Text.push_back(sjis.substr(start, brk == std::string::npos ? brk : brk - start));
            if (brk == std::string::npos) break;
            start = brk + 2;
        }
    }
    if (DetectCode(m.Subject) != JapaneseCode::Ascii) m.Subject = ToSjisFromWords(m.Subject);
    if (DetectCode(m.From) != JapaneseCode::Ascii) m.From = DecodeOneAddress(m.From);
    if (DetectCode(m.ReplyTo) != JapaneseCode::Ascii) m.ReplyTo = DecodeOneAddress(m.ReplyTo);
    for (TAttachedFile& file : m.AttachedFiles) {
        if (DetectCode(file.FileName) != JapaneseCode::Ascii) {
            file.FileName = ToSjisFromWords(file.FileName);
        }
    }
}

}  // namespace mail

#include "platform/ini_file.h"

#include "platform/data_dir.h"
#include "platform/one_line.h"
#include "platform/sjis.h"

namespace platform {
namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// One line of the text: [begin, end) without its line ending; next is where the following
// line starts. CR LF, a bare LF or a bare CR ends a line.
struct Line {
    std::size_t begin, end, next;
};

// Calls visit(line) for each line in order until it returns false.
template <class Visit>
void ForEachLineOf(const std::string& text, Visit visit) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        std::size_t next;
        if (end == text.size()) {
            next = end;
        } else {
            next = end + 1;
            if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
        }
        if (!visit(Line{pos, end, next})) return;
        pos = next;
    }
}

bool EndsLine(char c) { return c == '\n' || c == '\r'; }

// Section name when the line is a section header.
bool SectionName(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return false;
    const std::size_t close = line.find(']');
    name = Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
    return true;
}

// Key and raw value when the line is a key line.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') return false;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(line.substr(0, eq));
    value = line.substr(eq + 1);
    return true;
}

struct Found {
    bool section = false;
    bool key = false;
    std::size_t sectionEnd = 0;  // offset after the section's last non-blank line
    Line line{};
    std::string_view value;
};

Found Locate(const std::string& text, std::string_view section, std::string_view key) {
    Found f;
    bool inSection = false;
    ForEachLineOf(text, [&](const Line& l) {
        const std::string_view s(text.data() + l.begin, l.end - l.begin);
        std::string_view name;
        if (SectionName(s, name)) {
            if (f.section && inSection) return false;  // first matching section only
            inSection = sjis::EqualNoCase(name, section);
            if (inSection) {
                f.section = true;
                f.sectionEnd = l.next;
            }
            return true;
        }
        if (!inSection) return true;
        if (!Trim(s).empty()) f.sectionEnd = l.next;
        std::string_view k, v;
        if (KeyValue(s, k, v) && sjis::EqualNoCase(k, key)) {
            f.key = true;
            f.line = l;
            f.value = v;
            return false;
        }
        return true;
    });
    return f;
}

}  // namespace

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {
    if (!Absent(path_)) text_ = ReadBytes(path_);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
    const Found f = Locate(text_, section, key);
    if (!f.key) return std::string(def);
    std::string_view v = Trim(f.value);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
    return Locate(text_, section, key).key;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    // A line break would end the key's line and let the value make lines of its own.
    RequireOneLine(section, "an INI section name");
    RequireOneLine(key, "an INI key");
    RequireOneLine(value, "the INI value of " + std::string(key));
    const Found f = Locate(text_, section, key);
    if (f.key) {
        // Keep the key's own spelling and the line's ending; replace the rest of the line.
        const std::string_view line(text_.data() + f.line.begin, f.line.end - f.line.begin);
        const std::size_t eq = line.find('=');
        text_.replace(f.line.begin + eq + 1, f.line.end - (f.line.begin + eq + 1), value);
        return;
    }
    std::string entry = std::string(key) + "=" + std::string(value) + "\r\n";
    if (f.section) {
        std::size_t at = f.sectionEnd;
        if (at > 0 && !EndsLine(text_[at - 1])) {
            text_.insert(at, "\r\n");
            at += 2;
        }
        text_.insert(at, entry);
        return;
    }
    if (!text_.empty() && !EndsLine(text_.back())) text_ += "\r\n";
    text_ += "[" + std::string(section) + "]\r\n" + entry;
}

void IniFile::Save() const { WriteBytes(path_, text_); }

}  // namespace platform

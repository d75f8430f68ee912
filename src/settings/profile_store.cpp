#include "settings/profile_store.h"

#include <algorithm>

#include "platform/data_dir.h"
#include "platform/error.h"
#include "platform/ini_file.h"
#include "platform/one_line.h"
#include "platform/screen_text.h"
#include "platform/sjis.h"
#include "platform/texts.h"

namespace settings {
namespace fs = std::filesystem;

namespace {

const char kRenameError[] = "Error renaming file!";
constexpr std::size_t kFtpPasswordField = 4;
constexpr std::size_t kPopPasswordField = 13;

// Rounds n/d to the nearest integer, halves to even (n, d >= 0).
std::size_t RoundHalfEven(std::size_t n, std::size_t d) {
    std::size_t q = n / d;
    const std::size_t r2 = 2 * (n % d);
    if (r2 > d || (r2 == d && (q & 1))) ++q;
    return q;
}

// Splits at the first "," of each of the first count-1 fields; the last field is the rest.
// Missing separators leave the later fields empty.
std::vector<std::string> SplitFields(std::string_view line, std::size_t count) {
    std::vector<std::string> fields(count);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count && pos <= line.size(); ++i) {
        const std::size_t comma = i + 1 < count ? line.find(',', pos) : std::string_view::npos;
        if (comma == std::string_view::npos) {
            fields[i] = std::string(line.substr(pos));
            break;
        }
        fields[i] = std::string(line.substr(pos, comma - pos));
        pos = comma + 1;
    }
    return fields;
}

// File name of a profile file: the UTF-8 form of the Shift_JIS name; a name that is not
// valid Shift_JIS keeps its bytes so it still names one file. A "/" or NUL (possible only
// from a hand-edited list) becomes "_" so the path stays inside the data directory and
// keeps its extension.
std::string FileStem(std::string_view name) {
    std::string stem = platform::TrySjisToUtf8(name).value_or(std::string(name));
    for (char& c : stem) {
        if (c == '/' || c == '\0') c = '_';
    }
    return stem;
}

// A line break would end the profile line inside the field and make the rest a line of its
// own: a profile that loses its later fields and a bogus one after it.
void RequireOneLineFields(const TSenderProfile& p) {
    for (std::size_t i = 0; i < kProfileFieldCount; ++i)
        platform::RequireOneLine(ProfileField(p, i),
                                 "the profile field " + std::string(kProfileFieldNames[i]));
}

}  // namespace

const std::array<std::string_view, kProfileFieldCount> kProfileFieldNames = {
    "Name",       "FtpHost",     "HostStartFolder", "FtpUserId",    "FtpPassword", "WwwAddress",
    "MailName",   "MailAddress", "ReplyAddress",    "SmtpServer",   "PopAuth",     "Pop3Server",
    "PopAccount", "PopPassword", "DirectoryFixed",  "SendDirectory"};

std::string& ProfileField(TSenderProfile& p, std::size_t i) {
    std::string* fields[kProfileFieldCount] = {
        &p.Name,         &p.FtpHost,     &p.HostStartFolder, &p.FtpUserId,
        &p.FtpPassword,  &p.WwwAddress,  &p.MailName,        &p.MailAddress,
        &p.ReplyAddress, &p.SmtpServer,  &p.PopAuth,         &p.Pop3Server,
        &p.PopAccount,   &p.PopPassword, &p.DirectoryFixed,  &p.SendDirectory};
    return *fields[i];
}

const std::string& ProfileField(const TSenderProfile& p, std::size_t i) {
    return ProfileField(const_cast<TSenderProfile&>(p), i);
}

std::string EncodePassword(std::string_view plain) {
    std::string out;
    out.reserve(plain.size() * 4);
    for (const char c : plain) {
        const unsigned v = static_cast<unsigned char>(c) * 6u;
        const char digits[4] = {
            static_cast<char>('0' + v / 1000), static_cast<char>('0' + v / 100 % 10),
            static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)};
        out.append(digits, 4);
    }
    return out;
}

std::string DecodePassword(std::string_view digits) {
    const std::size_t groups = RoundHalfEven(digits.size(), 4);
    std::string out;
    out.reserve(groups);
    for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t begin = g * 4;
        const std::string_view group =
            begin < digits.size() ? digits.substr(begin, 4) : std::string_view();
        std::size_t v = 0;
        for (const char c : group) {
            if (c < '0' || c > '9') break;
            v = v * 10 + static_cast<std::size_t>(c - '0');
        }
        out += static_cast<char>((RoundHalfEven(v, 3) >> 1) & 0xFF);
    }
    return out;
}

bool IsWellFormedPassword(std::string_view digits) {
    if (digits.size() % 4 != 0) return false;
    for (std::size_t g = 0; g < digits.size(); g += 4) {
        unsigned v = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = digits[g + k];
            if (c < '0' || c > '9') return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
        }
        if (v % 6 != 0 || v > 1530) return false;
    }
    return true;
}

TSenderProfile ParseProfileLine(std::string_view line) {
    TSenderProfile p;
    const auto commas = static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
    if (commas <= 13) {
        // Older layout: no PopAuth and no Pop3Server.
        auto f = SplitFields(line, 14);
        for (std::size_t i = 0; i < 10; ++i) ProfileField(p, i) = std::move(f[i]);
        p.PopAuth = "0";
        p.PopAccount = std::move(f[10]);
        p.PopPassword = std::move(f[11]);
        p.DirectoryFixed = std::move(f[12]);
        p.SendDirectory = std::move(f[13]);
    } else {
        auto f = SplitFields(line, kProfileFieldCount);
        for (std::size_t i = 0; i < kProfileFieldCount; ++i) ProfileField(p, i) = std::move(f[i]);
    }
    p.FtpPassword = DecodePassword(p.FtpPassword);
    p.PopPassword = DecodePassword(p.PopPassword);
    return p;
}

std::string FormatProfileLine(const TSenderProfile& p) {
    std::string out;
    for (std::size_t i = 0; i < kProfileFieldCount; ++i) {
        if (i) out += ',';
        if (i == kFtpPasswordField || i == kPopPasswordField) {
            out += EncodePassword(ProfileField(p, i));
        } else if (i == 10) {
            out += p.PopAuthOn() ? "1" : "0";
        } else if (i == 14) {
            out += p.IsDirectoryFixed() ? "1" : "0";
        } else {
            out += ProfileField(p, i);
        }
    }
    return out;
}

std::string ProfileNameOf(std::string_view line) {
    return std::string(line.substr(0, line.find(',')));
}

bool IsValidProfileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (!platform::TrySjisToUtf8(name)) return false;
    for (std::size_t i = 0; i < name.size(); i += platform::sjis::CharLength(name, i)) {
        if (platform::sjis::CharLength(name, i) != 1) continue;
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

std::optional<std::size_t> FindCommaField(const TSenderProfile& p) {
    // "," is a single-byte character only; no Shift_JIS trail byte equals it.
    for (std::size_t i = 0; i + 1 < kProfileFieldCount; ++i) {
        if (i == kFtpPasswordField || i == kPopPasswordField) continue;
        if (ProfileField(p, i).find(',') != std::string::npos) return i;
    }
    return std::nullopt;
}

fs::path HeaderPath(const fs::path& dataDir, std::string_view name) {
    return platform::ResolveInDir(dataDir, FileStem(name) + ".hed");
}

fs::path FooterPath(const fs::path& dataDir, std::string_view name) {
    return platform::ResolveInDir(dataDir, FileStem(name) + ".fot");
}

ProfileStore::ProfileStore(fs::path dataDir) : dataDir_(std::move(dataDir)) {}

void ProfileStore::LoadProfiles() {
    const platform::IniFile ini(platform::ResolveInDir(dataDir_, kIniFileName));
    LoadProfiles(ini);
}

void ProfileStore::LoadProfiles(const platform::IniFile& ini) {
    standard_ = ini.ReadString(kStandardSection, kStandardKey, "");
    LoadProfileList();
}

void ProfileStore::LoadProfileList() {
    const fs::path path = platform::ResolveInDir(dataDir_, kProfileFileName);
    lines_.Clear();
    if (platform::Absent(path)) {
        platform::CreateEmpty(path, platform::FileMode::OwnerOnly);
        lines_.SetSorted(false);
        return;
    }
    lines_.SetSorted(true);
    lines_.Load(platform::ReadLines(path));
}

void ProfileStore::SaveProfiles() const {
    SaveProfileList();
    platform::IniFile ini(platform::ResolveInDir(dataDir_, kIniFileName));
    WriteStandardName(ini);
    ini.Save();
}

void ProfileStore::SaveProfileList() const {
    platform::WriteLines(platform::ResolveInDir(dataDir_, kProfileFileName), lines_.lines(),
                         platform::FileMode::OwnerOnly);
}

void ProfileStore::WriteStandardName(platform::IniFile& ini) const {
    ini.WriteString(kStandardSection, kStandardKey, standard_);
}

std::string ProfileStore::NameAt(std::size_t pos) const {
    return pos < lines_.size() ? ProfileNameOf(lines_.at(pos)) : std::string();
}

std::size_t ProfileStore::StandardPosition() const {
    std::size_t found = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (NameAt(i) == standard_) found = i;
    }
    return found;
}

std::optional<std::size_t> ProfileStore::FindProfileIndex(std::string_view name) const {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (NameAt(i) == name) found = i;
    }
    return found;
}

std::optional<TSenderProfile> ProfileStore::FindProfile(std::string_view name) const {
    const auto i = FindProfileIndex(name);
    if (!i) return std::nullopt;
    return ParseProfileLine(lines_.at(*i));
}

fs::path ProfileStore::HeaderPath(std::string_view name) const {
    return settings::HeaderPath(dataDir_, name);
}

fs::path ProfileStore::FooterPath(std::string_view name) const {
    return settings::FooterPath(dataDir_, name);
}

void ProfileStore::Report(const std::string& message) const {
    if (OnMessage) OnMessage(message);
}

void ProfileStore::AfterSave(const std::string& savedName) {
    if (lines_.size() == 1) standard_ = savedName;
    if (standard_.empty() && !lines_.empty()) standard_ = NameAt(0);
}

std::size_t ProfileStore::AddProfile(const TSenderProfile& p) {
    RequireOneLineFields(p);
    const std::size_t at = lines_.Add(FormatProfileLine(p));
    AfterSave(p.Name);
    return at;
}

std::size_t ProfileStore::ReplaceProfile(std::size_t pos, const TSenderProfile& p,
                                         const std::string& oldName) {
    RequireOneLineFields(p);
    lines_.Delete(pos);
    const std::size_t at = lines_.Add(FormatProfileLine(p));
    if (p.Name != oldName) {
        const std::string newStem = FileStem(p.Name);
        for (const char* ext : {".hed", ".fot"}) {
            const fs::path from = platform::ResolveInDir(dataDir_, FileStem(oldName) + ext);
            if (!platform::FileExists(from)) continue;
            // A change of letter case alone finds the old file itself through the case-blind
            // lookup; then the new spelling is the target.
            fs::path to = platform::ResolveInDir(dataDir_, newStem + ext);
            if (to == from) to = dataDir_ / (newStem + ext);
            try {
                platform::MoveFileTo(from, to);
            } catch (const platform::Error&) {
                Report(kRenameError);
            }
        }
        if (standard_ == oldName) standard_ = p.Name;
    }
    AfterSave(p.Name);
    return at;
}

void ProfileStore::DeleteProfile(std::size_t pos) {
    if (pos >= lines_.size()) return;
    const std::string name = NameAt(pos);
    for (const fs::path& path : {HeaderPath(name), FooterPath(name)}) {
        if (!platform::FileExists(path)) continue;
        try {
            platform::DeleteFile(path);
        } catch (const platform::Error&) {
            Report(kRenameError);
        }
    }
    lines_.Delete(pos);
}

void ProfileStore::DuplicateProfile(std::size_t pos) {
    if (pos >= lines_.size()) return;
    const std::string& source = lines_.at(pos);
    const std::string name = ProfileNameOf(source);
    const std::string copyName = platform::texts().CopyPrefix + name;
    std::string line = copyName + source.substr(name.size());
    for (const auto& [from, to] : {std::pair{HeaderPath(name), HeaderPath(copyName)},
                                   std::pair{FooterPath(name), FooterPath(copyName)}}) {
        if (!platform::FileExists(from)) continue;
        try {
            platform::CopyFileOver(from, to);
        } catch (const platform::Error&) {
            Report(kRenameError);
        }
    }
    lines_.Add(std::move(line));
}

void ProfileStore::SetStandardProfile(std::size_t pos) {
    if (pos >= lines_.size()) return;
    standard_ = NameAt(pos);
}

std::vector<ProfileGridRow> ProfileStore::GridRows() const {
    std::vector<ProfileGridRow> rows;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string name = NameAt(i);
        std::string mark = name == standard_ ? platform::texts().StandardMark : std::string();
        rows.push_back({std::move(name), std::move(mark)});
    }
    if (rows.empty()) rows.push_back({});
    return rows;
}

std::vector<std::string> ProfileStore::SelectorItems() const {
    std::vector<std::string> items;
    for (std::size_t i = 0; i < lines_.size(); ++i) items.push_back(NameAt(i));
    if (items.empty()) items.push_back(platform::texts().NotRegistered);
    return items;
}

}  // namespace settings

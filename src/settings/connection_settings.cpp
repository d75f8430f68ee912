#include "settings/connection_settings.h"

#include <vector>

#include "platform/data_dir.h"
#include "platform/error.h"
#include "settings/profile_store.h"

namespace settings {

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.emplace_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return fields;
}

const char* SecurityText(TSecurity s) {
    switch (s) {
        case TSecurity::Explicit:
            return "explicit";
        case TSecurity::Implicit:
            return "implicit";
        default:
            return "none";
    }
}

TSecurity ParseSecurity(std::string_view text) {
    if (text == "explicit") return TSecurity::Explicit;
    if (text == "implicit") return TSecurity::Implicit;
    return TSecurity::None;
}

int ParsePort(std::string_view text, int fallback) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
        return fallback;
    const int v = std::stoi(std::string(text));
    return v >= 1 && v <= 65535 ? v : fallback;
}

void RefuseSeparators(std::string_view value) {
    if (value.find_first_of(std::string_view("\t\r\n\0", 4)) != std::string_view::npos)
        throw platform::Error("Line break, TAB or NUL in a connection setting refused");
}

std::string Line(const char* kind, std::string_view key, const Pairs& pairs) {
    std::string line = kind;
    line += '\t';
    line += key;
    for (const auto& [k, v] : pairs) line += "\t" + k + "=" + v;
    return line;
}

Pairs ProfilePairs(const TConnectionSettings& s) {
    const TConnectionSettings d;
    Pairs p;
    if (s.FtpPort != d.FtpPort) p.emplace_back("ftp.port", std::to_string(s.FtpPort));
    if (s.FtpSecurity != d.FtpSecurity) p.emplace_back("ftp.security", SecurityText(s.FtpSecurity));
    if (s.FtpNames != d.FtpNames) p.emplace_back("ftp.names", "auto");
    if (!s.FtpFingerprint.empty()) p.emplace_back("ftp.fingerprint", s.FtpFingerprint);
    if (s.SmtpPort != d.SmtpPort) p.emplace_back("smtp.port", std::to_string(s.SmtpPort));
    if (s.SmtpSecurity != d.SmtpSecurity)
        p.emplace_back("smtp.security", SecurityText(s.SmtpSecurity));
    if (s.SmtpAuth) p.emplace_back("smtp.auth", "1");
    if (!s.SmtpUser.empty()) p.emplace_back("smtp.user", s.SmtpUser);
    if (!s.SmtpPassword.empty()) p.emplace_back("smtp.password", EncodePassword(s.SmtpPassword));
    if (!s.SmtpFingerprint.empty()) p.emplace_back("smtp.fingerprint", s.SmtpFingerprint);
    if (s.PopPort != d.PopPort) p.emplace_back("pop.port", std::to_string(s.PopPort));
    if (s.PopSecurity != d.PopSecurity) p.emplace_back("pop.security", SecurityText(s.PopSecurity));
    if (!s.PopFingerprint.empty()) p.emplace_back("pop.fingerprint", s.PopFingerprint);
    return p;
}

// The entry of key, made when missing. A file this store wrote lists its keys in order, so the
// new key mostly goes at the end, found without a search.
template <class Map>
typename Map::mapped_type& EntryOf(Map& map, std::string_view key) {
    if (!map.empty() && map.rbegin()->first < key)
        return map.emplace_hint(map.end(), std::string(key), typename Map::mapped_type{})->second;
    auto it = map.find(key);
    if (it == map.end()) it = map.emplace(std::string(key), typename Map::mapped_type{}).first;
    return it->second;
}

void ApplyProfilePair(TConnectionSettings& s, std::string_view k, std::string_view v) {
    if (k == "ftp.port") s.FtpPort = ParsePort(v, s.FtpPort);
    if (k == "ftp.security") s.FtpSecurity = ParseSecurity(v);
    if (k == "ftp.names") s.FtpNames = v == "auto" ? TNameRule::Automatic : TNameRule::ShiftJis;
    if (k == "ftp.fingerprint") s.FtpFingerprint = v;
    if (k == "smtp.port") s.SmtpPort = ParsePort(v, s.SmtpPort);
    if (k == "smtp.security") s.SmtpSecurity = ParseSecurity(v);
    if (k == "smtp.auth") s.SmtpAuth = v == "1";
    if (k == "smtp.user") s.SmtpUser = v;
    if (k == "smtp.password") s.SmtpPassword = DecodePassword(v);
    if (k == "smtp.fingerprint") s.SmtpFingerprint = v;
    if (k == "pop.port") s.PopPort = ParsePort(v, s.PopPort);
    if (k == "pop.security") s.PopSecurity = ParseSecurity(v);
    if (k == "pop.fingerprint") s.PopFingerprint = v;
}

Pairs LogPairs(const TLoggedConnection& c) {
    Pairs p;
    if (c.FtpSecurity != TSecurity::None) p.emplace_back("security", SecurityText(c.FtpSecurity));
    if (c.FtpNames != TNameRule::ShiftJis) p.emplace_back("names", "auto");
    if (c.UsedUtf8) p.emplace_back("utf8", "1");
    if (!c.FtpFingerprint.empty()) p.emplace_back("fingerprint", c.FtpFingerprint);
    return p;
}

void ApplyLogPair(TLoggedConnection& c, std::string_view k, std::string_view v) {
    if (k == "security") c.FtpSecurity = ParseSecurity(v);
    if (k == "names") c.FtpNames = v == "auto" ? TNameRule::Automatic : TNameRule::ShiftJis;
    if (k == "utf8") c.UsedUtf8 = v == "1";
    if (k == "fingerprint") c.FtpFingerprint = v;
}

}  // namespace

int DefaultFtpPort(TSecurity security) { return security == TSecurity::Implicit ? 990 : 21; }
int DefaultSmtpPort(TSecurity security) {
    switch (security) {
        case TSecurity::Implicit:
            return 465;
        case TSecurity::Explicit:
            return 587;
        default:
            return 25;
    }
}
int DefaultPopPort(TSecurity security) { return security == TSecurity::Implicit ? 995 : 110; }

void ConnectionStore::Load() {
    profiles_.clear();
    logs_.clear();
    passive_ = false;
    const auto path = platform::ResolveInDir(dataDir_, kConnectionFileName);
    if (platform::Absent(path)) return;
    // Line by line: the lines themselves are not kept beside the entries made of them.
    platform::ForEachLine(path, [&](std::string_view line) {
        const std::vector<std::string_view> fields = SplitTabs(line);
        if (fields.size() < 2) return;  // not ours: ignored
        const std::string_view kind = fields[0];
        const std::string_view key = fields[1];
        TConnectionSettings* profile =
            kind == "P" && !key.empty() ? &EntryOf(profiles_, key) : nullptr;
        TLoggedConnection* logged = kind == "L" && !key.empty() ? &EntryOf(logs_, key) : nullptr;
        for (std::size_t i = 2; i < fields.size(); ++i) {
            const std::size_t eq = fields[i].find('=');
            if (eq == std::string_view::npos) continue;
            const std::string_view k = fields[i].substr(0, eq);
            const std::string_view v = fields[i].substr(eq + 1);
            if (profile) ApplyProfilePair(*profile, k, v);
            if (logged) ApplyLogPair(*logged, k, v);
            if (kind == "E" && k == "passive") passive_ = v == "1";
        }
    });
}

std::vector<std::string> ConnectionStore::Lines() const {
    std::vector<std::string> lines;
    if (passive_) lines.push_back(Line("E", "", {{"passive", "1"}}));
    for (const auto& [name, s] : profiles_) {
        const Pairs pairs = ProfilePairs(s);
        if (!pairs.empty()) lines.push_back(Line("P", name, pairs));
    }
    for (const auto& [record, c] : logs_) {
        const Pairs pairs = LogPairs(c);
        if (!pairs.empty()) lines.push_back(Line("L", record, pairs));
    }
    return lines;
}

bool ConnectionStore::Save() const {
    const std::vector<std::string> lines = Lines();
    const auto path = platform::ResolveInDir(dataDir_, kConnectionFileName);
    if (lines.empty() && !platform::FileExists(path)) return false;
    platform::WriteLines(path, lines, platform::FileMode::OwnerOnly);
    return true;
}

TConnectionSettings ConnectionStore::ForProfile(std::string_view name) const {
    const auto it = profiles_.find(name);
    return it == profiles_.end() ? TConnectionSettings{} : it->second;
}

void ConnectionStore::SetProfile(std::string_view name, const TConnectionSettings& s) {
    // Defaults leave no entry, so they never need storing.
    if (s == TConnectionSettings{}) {
        profiles_.erase(std::string(name));
        return;
    }
    for (const std::string* v :
         {&s.FtpFingerprint, &s.SmtpUser, &s.SmtpPassword, &s.SmtpFingerprint, &s.PopFingerprint})
        RefuseSeparators(*v);
    RefuseSeparators(name);
    profiles_[std::string(name)] = s;
}

void ConnectionStore::RenameProfile(std::string_view from, std::string_view to) {
    if (from == to) return;
    const auto it = profiles_.find(from);
    if (it == profiles_.end()) {
        profiles_.erase(std::string(to));
        return;
    }
    TConnectionSettings s = it->second;
    profiles_.erase(it);
    profiles_[std::string(to)] = s;
}

void ConnectionStore::DuplicateProfile(std::string_view from, std::string_view to) {
    const auto it = profiles_.find(from);
    if (it != profiles_.end()) profiles_[std::string(to)] = it->second;
}

void ConnectionStore::RemoveProfile(std::string_view name) { profiles_.erase(std::string(name)); }

TLoggedConnection ConnectionStore::ForLogRecord(std::string_view line) const {
    const auto it = logs_.find(line);
    return it == logs_.end() ? TLoggedConnection{} : it->second;
}

void ConnectionStore::SetLogRecord(std::string_view line, const TLoggedConnection& c) {
    if (c == TLoggedConnection{}) {
        logs_.erase(std::string(line));
        return;
    }
    RefuseSeparators(line);
    RefuseSeparators(c.FtpFingerprint);
    logs_[std::string(line)] = c;
}

void ConnectionStore::RemoveLogRecord(std::string_view line) { logs_.erase(std::string(line)); }

}  // namespace settings

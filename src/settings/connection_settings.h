#pragma once
// Connection settings that the older data files cannot hold: per profile the ports, TLS,
// the FTP file-name rule, SMTP authentication and trusted certificates; passive mode; and, per
// send-log record, how its upload connected, so a deletion connects the same way. They live in
// "Connect.dat" beside the other files, which stay byte-compatible. A profile without an entry
// connects as always: ports 21, 25 and 110, no TLS, Shift_JIS names, active mode.
//
// Format: one entry per line, fields separated by TAB: the kind ("P" profile, "L" log record,
// "E" environment), the key (profile name, whole log line, empty), then key=value pairs. Only
// values that differ from the defaults are written; passwords in the digit encoding.
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

inline constexpr std::string_view kConnectionFileName = "Connect.dat";

enum class TSecurity {
    None,      // plain, as always
    Explicit,  // AUTH TLS (FTP), STARTTLS (SMTP), STLS (POP3)
    Implicit,  // TLS from the first byte (990, 465, 995)
};

enum class TNameRule {
    ShiftJis,   // names go as Shift_JIS, as always
    Automatic,  // UTF-8 when the server announces UTF8 in FEAT
};

struct TConnectionSettings {
    int FtpPort = 21;
    TSecurity FtpSecurity = TSecurity::None;
    TNameRule FtpNames = TNameRule::ShiftJis;
    std::string FtpFingerprint;  // SHA-256 of a certificate the user trusted

    int SmtpPort = 25;
    TSecurity SmtpSecurity = TSecurity::None;
    bool SmtpAuth = false;
    std::string SmtpUser;
    std::string SmtpPassword;  // plain text in memory
    std::string SmtpFingerprint;

    int PopPort = 110;
    TSecurity PopSecurity = TSecurity::None;
    std::string PopFingerprint;

    bool operator==(const TConnectionSettings&) const = default;
};

// How one logged upload connected (what its deletion needs besides the log record).
struct TLoggedConnection {
    TSecurity FtpSecurity = TSecurity::None;
    TNameRule FtpNames = TNameRule::ShiftJis;
    bool UsedUtf8 = false;  // the server took the name as UTF-8
    std::string FtpFingerprint;
    bool operator==(const TLoggedConnection&) const = default;
};

// The standard port of a protocol for a security choice (implicit TLS has its own).
int DefaultFtpPort(TSecurity security);
int DefaultSmtpPort(TSecurity security);
int DefaultPopPort(TSecurity security);

class ConnectionStore {
public:
    explicit ConnectionStore(std::filesystem::path dataDir) : dataDir_(std::move(dataDir)) {}

    // A missing file is an empty store. Throws FileError when it cannot be read.
    void Load();
    // Writes the file whole (owner-only, atomically); an empty store leaves no file behind.
    // False when there was nothing to write (no file and nothing but defaults).
    bool Save() const;
    // The lines Save writes; none for a store that holds only defaults.
    std::vector<std::string> Lines() const;

    TConnectionSettings ForProfile(std::string_view name) const;
    // Values with a line break, TAB or NUL are refused (platform::Error): they would split
    // the entry.
    void SetProfile(std::string_view name, const TConnectionSettings& settings);
    // Carry the entry along with the profile.
    void RenameProfile(std::string_view from, std::string_view to);
    void DuplicateProfile(std::string_view from, std::string_view to);
    void RemoveProfile(std::string_view name);

    TLoggedConnection ForLogRecord(std::string_view line) const;
    void SetLogRecord(std::string_view line, const TLoggedConnection& connection);
    void RemoveLogRecord(std::string_view line);

    bool Passive() const { return passive_; }
    void SetPassive(bool on) { passive_ = on; }

    const std::filesystem::path& DataDir() const { return dataDir_; }

private:
    std::filesystem::path dataDir_;
    std::map<std::string, TConnectionSettings, std::less<>> profiles_;
    std::map<std::string, TLoggedConnection, std::less<>> logs_;
    bool passive_ = false;
};

}  // namespace settings

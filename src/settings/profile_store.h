#pragma once
// Sender profiles: the profile line format of "User.Inf", the password digit encoding, the
// standard profile name in "Defult.ini" and the list operations with their .hed/.fot files.
#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sorted_line_list.h"

namespace platform {
class IniFile;
}

namespace settings {

inline constexpr std::string_view kProfileFileName = "User.Inf";
inline constexpr std::string_view kIniFileName = "Defult.ini";
inline constexpr std::string_view kStandardSection = "USER";
inline constexpr std::string_view kStandardKey = "DefaultAdress";

// One sender profile, fields in stored order. Passwords hold the plain text (decoded).
// PopAuth and DirectoryFixed keep the text read; anything but "0" means on / fixed.
struct TSenderProfile {
    std::string Name;
    std::string FtpHost;
    std::string HostStartFolder;
    std::string FtpUserId;
    std::string FtpPassword;
    std::string WwwAddress;
    std::string MailName;
    std::string MailAddress;
    std::string ReplyAddress;
    std::string SmtpServer;
    std::string PopAuth;
    std::string Pop3Server;
    std::string PopAccount;
    std::string PopPassword;
    std::string DirectoryFixed;
    std::string SendDirectory;

    bool PopAuthOn() const { return PopAuth != "0"; }
    bool IsDirectoryFixed() const { return DirectoryFixed != "0"; }
    bool operator==(const TSenderProfile&) const = default;
};

inline constexpr std::size_t kProfileFieldCount = 16;
// Field names in stored order (index 0 = Name).
extern const std::array<std::string_view, kProfileFieldCount> kProfileFieldNames;
// Field i (0-based, stored order) of a profile.
std::string& ProfileField(TSenderProfile& p, std::size_t i);
const std::string& ProfileField(const TSenderProfile& p, std::size_t i);

// Each byte as byte*6 in four decimal digits.
std::string EncodePassword(std::string_view plain);
// Groups = round-half-even(len/4); per group v = its leading decimal digits (up to four,
// none = 0); byte = (round-half-even(v/3) >> 1) & 0xFF. Never fails.
std::string DecodePassword(std::string_view digits);
// True when the text is what EncodePassword makes (digits, groups of four, multiples of 6
// up to 1530), i.e. decoding is exact.
bool IsWellFormedPassword(std::string_view digits);

// Either layout (13 or fewer "," = older 14-field layout); passwords decoded.
TSenderProfile ParseProfileLine(std::string_view line);
// Current 16-field layout; passwords encoded, flags written "1"/"0".
std::string FormatProfileLine(const TSenderProfile& p);
// Name of a profile line: the text up to its first ",".
std::string ProfileNameOf(std::string_view line);

// A name that can stand as a file name stem: not empty, no "/" or "\" (whole characters),
// no control character, not "." or "..", valid Shift_JIS.
bool IsValidProfileName(std::string_view name);
// Index (stored order) of the first field that holds a "," and would shift the fields
// after it, or nothing. The encoded passwords and the last field are exempt.
std::optional<std::size_t> FindCommaField(const TSenderProfile& p);

// dataDir / (UTF-8 form of name) + ".hed" / ".fot", matched without regard to case. A "/"
// or NUL in the name stands as "_" so the path never leaves dataDir.
std::filesystem::path HeaderPath(const std::filesystem::path& dataDir, std::string_view name);
std::filesystem::path FooterPath(const std::filesystem::path& dataDir, std::string_view name);

// One row of the profile list grid: name and "（標準）" or empty.
struct ProfileGridRow {
    std::string Name;
    std::string Mark;
};

class ProfileStore {
public:
    explicit ProfileStore(std::filesystem::path dataDir);

    const std::filesystem::path& DataDir() const { return dataDir_; }

    // Reads the standard name from "Defult.ini" and the list from "User.Inf" (creating an
    // empty file and an unsorted list when it is missing). Throws FileError.
    void LoadProfiles();
    void LoadProfiles(const platform::IniFile& ini);  // standard name from an open INI
    void LoadProfileList();
    // Writes "User.Inf" (0600, passwords) and the standard name into "Defult.ini".
    void SaveProfiles() const;
    void SaveProfileList() const;
    void WriteStandardName(platform::IniFile& ini) const;

    const platform::SortedLineList& Lines() const { return lines_; }
    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    std::string NameAt(std::size_t pos) const;  // empty when pos is out of range

    const std::string& StandardName() const { return standard_; }
    void SetStandardName(std::string name) { standard_ = std::move(name); }
    // Position of the last line whose name equals the standard name exactly, else 0.
    std::size_t StandardPosition() const;

    // The prevailing (last) line whose name equals name exactly, parsed.
    std::optional<TSenderProfile> FindProfile(std::string_view name) const;
    std::optional<std::size_t> FindProfileIndex(std::string_view name) const;

    std::filesystem::path HeaderPath(std::string_view name) const;
    std::filesystem::path FooterPath(std::string_view name) const;

    // Saving from the editor. Both return where the line landed, or npos when the sorted
    // list dropped it as equal to a present line. A field with a CR, LF or NUL is refused
    // (platform::Error naming the field) and nothing changes.
    std::size_t AddProfile(const TSenderProfile& p);
    // Removes the line at pos, adds the new one, moves the .hed/.fot of a renamed profile
    // ("Error renaming file!" through OnMessage when a move fails) and carries the
    // standard name along.
    std::size_t ReplaceProfile(std::size_t pos, const TSenderProfile& p,
                               const std::string& oldName);
    // Each does nothing for an empty list or a position out of range.
    void DeleteProfile(std::size_t pos);
    void DuplicateProfile(std::size_t pos);
    void SetStandardProfile(std::size_t pos);

    // One row per line; an empty list gives one empty row.
    std::vector<ProfileGridRow> GridRows() const;
    // Names in list order, or the single item "未登録" for an empty list.
    std::vector<std::string> SelectorItems() const;

    // Shown to the user ("Error renaming file!"); called only when set.
    std::function<void(const std::string&)> OnMessage;

private:
    void Report(const std::string& message) const;
    void AfterSave(const std::string& savedName);

    std::filesystem::path dataDir_;
    platform::SortedLineList lines_;
    std::string standard_;
};

}  // namespace settings

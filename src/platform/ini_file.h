#pragma once
// INI file access ("Defult.ini"): "[section]" lines, then "key=value" lines.
// Section and key names match without regard to letter case. A value reads back trimmed
// of blanks and of one pair of enclosing quotes ("..." or '...'). Writing a key replaces
// its line in place and keeps every other byte of the file; a missing section or key is
// appended. Changes stay in memory until Save(), which replaces the file atomically. CR LF,
// a bare LF or a bare CR ends a line.
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

class IniFile {
public:
    // Reads the file when it exists (a missing file is an empty one); throws FileError
    // when it exists but cannot be read.
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& Path() const { return path_; }

    // Value of key in section, or def when the section or key is missing.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def = {}) const;
    bool HasKey(std::string_view section, std::string_view key) const;

    // Throws platform::Error for a section, key or value with a CR, LF or NUL.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    // Writes the whole text to Path() atomically; throws FileError.
    void Save() const;

    // The file's text as it would be saved.
    const std::string& Text() const { return text_; }

private:
    std::filesystem::path path_;
    std::string text_;
};

}  // namespace platform

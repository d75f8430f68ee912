#pragma once
// The header/footer template editor's logic: which file, what the area shows, what is
// written back.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

enum class TemplateKind { Header, Footer };

struct TemplateDocument {
    std::filesystem::path Path;
    std::vector<std::string> Lines;  // what the text area shows, one entry per line
};

// Opens the header or footer of the profile name: nothing when name is empty; otherwise
// the file's lines, or, when it is missing, creates it empty at once and gives the single
// placeholder line "ヘッダー部" / "フッター部". Throws FileError.
std::optional<TemplateDocument> OpenTemplate(const std::filesystem::path& dataDir,
                                             TemplateKind kind, std::string_view name);

// "ヘッダー編集" / "フッター編集"
const std::string& TemplateCaption(TemplateKind kind);

// The area's text after loading lines: each line followed by CR LF.
std::string AreaTextOf(const std::vector<std::string>& lines);

// Replaces the file's content with the area's text exactly as given (lines separated by
// CR LF; nothing added). Throws FileError.
void SaveTemplate(const std::filesystem::path& path, std::string_view areaText);

// The header or footer text of a profile as lines; a missing file is no lines.
std::vector<std::string> ReadProfileText(const std::filesystem::path& dataDir, TemplateKind kind,
                                         std::string_view name);

}  // namespace settings

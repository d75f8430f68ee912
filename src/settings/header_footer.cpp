#include "settings/header_footer.h"

#include "platform/data_dir.h"
#include "platform/texts.h"
#include "settings/profile_store.h"

namespace settings {
namespace fs = std::filesystem;

namespace {
fs::path PathOf(const fs::path& dataDir, TemplateKind kind, std::string_view name) {
    return kind == TemplateKind::Header ? HeaderPath(dataDir, name) : FooterPath(dataDir, name);
}
}  // namespace

std::optional<TemplateDocument> OpenTemplate(const fs::path& dataDir, TemplateKind kind,
                                             std::string_view name) {
    if (name.empty()) return std::nullopt;
    TemplateDocument doc;
    doc.Path = PathOf(dataDir, kind, name);
    if (!platform::Absent(doc.Path)) {
        doc.Lines = platform::ReadLines(doc.Path);
    } else {
        platform::CreateEmpty(doc.Path);
        doc.Lines.push_back(kind == TemplateKind::Header ? platform::texts().HeaderPlaceholder
                                                         : platform::texts().FooterPlaceholder);
    }
    return doc;
}

const std::string& TemplateCaption(TemplateKind kind) {
    return kind == TemplateKind::Header ? platform::texts().HeaderEditCaption
                                        : platform::texts().FooterEditCaption;
}

std::string AreaTextOf(const std::vector<std::string>& lines) { return platform::JoinLines(lines); }

void SaveTemplate(const fs::path& path, std::string_view areaText) {
    platform::WriteBytes(path, areaText);
}

std::vector<std::string> ReadProfileText(const fs::path& dataDir, TemplateKind kind,
                                         std::string_view name) {
    const fs::path path = PathOf(dataDir, kind, name);
    if (platform::Absent(path)) return {};
    return platform::ReadLines(path);
}

}  // namespace settings

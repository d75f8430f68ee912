#pragma once
// MIME types by file extension, read from a mime.types file ("type ext ext ...").
#include <map>
#include <string>
#include <string_view>

namespace platform {

inline constexpr const char* DefaultMimeType = "application/octet-stream";

class MimeTypeTable {
public:
    MimeTypeTable() = default;
    // Reads the file; a missing file gives an empty table.
    explicit MimeTypeTable(const std::string& path);
    // extension with or without its leading dot, any letter case; empty when unknown.
    std::string Lookup(std::string_view extension) const;

private:
    std::map<std::string, std::string> byExtension_;
};

// The system table (/etc/mime.types), read once.
const MimeTypeTable& SystemMimeTypes();
// Type for the extension, or DefaultMimeType.
std::string MimeTypeForExtension(std::string_view extension);

}  // namespace platform

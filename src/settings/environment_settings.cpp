#include "settings/environment_settings.h"

#include <cstdint>

#include "platform/ini_file.h"

namespace settings {
namespace {

std::optional<std::int32_t> ParseInteger(std::string_view text, bool allowHex) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
    std::int64_t v = 0;
    for (const char c : text) {
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        v = v * base + d;
        if (v > limit) return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -v : v);
}

// A stored choice: the integer's truth, or the default for a missing or non-numeric value.
bool ReadChoice(const platform::IniFile& ini, std::string_view key, bool def) {
    if (!ini.HasKey(kEnvironmentSection, key)) return def;
    const auto v = ParseIniInteger(ini.ReadString(kEnvironmentSection, key));
    return v ? *v != 0 : def;
}

}  // namespace

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
    return ParseInteger(text, true);
}

std::optional<std::int32_t> ParsePort(std::string_view text) { return ParseInteger(text, false); }

void TEnvironmentSettings::Load(const platform::IniFile& ini) {
    // Applied in this order like clicks: a selected button deselects its partner, a
    // cleared one leaves the partner alone.
    if (ReadChoice(ini, "R1", true))
        SelectNormalConnection();
    else
        NormalConnection = false;
    if (ReadChoice(ini, "R2", false))
        SelectUseProxy();
    else
        UseProxy = false;
    if (ReadChoice(ini, "R3", true))
        SelectCreateMissingDirectory();
    else
        CreateMissingDirectory = false;
    if (ReadChoice(ini, "R4", false))
        SelectKeepMissingDirectory();
    else
        KeepMissingDirectory = false;
}

void TEnvironmentSettings::Save(platform::IniFile& ini) const {
    ini.WriteString(kEnvironmentSection, "R1", NormalConnection ? "1" : "0");
    ini.WriteString(kEnvironmentSection, "R2", UseProxy ? "1" : "0");
    ini.WriteString(kEnvironmentSection, "R3", CreateMissingDirectory ? "1" : "0");
    ini.WriteString(kEnvironmentSection, "R4", KeepMissingDirectory ? "1" : "0");
}

}  // namespace settings

#pragma once
// The program-wide FTP choices, stored in "Defult.ini" section "FTP" as R1..R4. Each pair
// is one choice: selecting a member deselects its partner; both can be off only as loaded.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class IniFile;
}

namespace settings {

inline constexpr std::string_view kEnvironmentSection = "FTP";

struct TEnvironmentSettings {
    bool NormalConnection = true;
    bool UseProxy = false;
    bool CreateMissingDirectory = true;
    bool KeepMissingDirectory = false;
    // Memory only: empty and 0 at every start.
    std::string ProxyHost;
    std::int32_t ProxyPort = 0;

    void SelectNormalConnection() { NormalConnection = true, UseProxy = false; }
    void SelectUseProxy() { UseProxy = true, NormalConnection = false; }
    void SelectCreateMissingDirectory() {
        CreateMissingDirectory = true, KeepMissingDirectory = false;
    }
    void SelectKeepMissingDirectory() {
        KeepMissingDirectory = true, CreateMissingDirectory = false;
    }

    // Applies R1, R2, R3, R4 in this order: a value that is a non-zero integer selects
    // (deselecting the partner), 0 clears just that flag, missing or non-numeric gives
    // the default (R1, R3 on; R2, R4 off).
    void Load(const platform::IniFile& ini);
    // Writes R1..R4 as "1"/"0", in this order.
    void Save(platform::IniFile& ini) const;

    // Proxy host and port for the FTP client: the proxy's when UseProxy, else "" and 0.
    std::string EffectiveProxyHost() const { return UseProxy ? ProxyHost : std::string(); }
    std::int32_t EffectiveProxyPort() const { return UseProxy ? ProxyPort : 0; }
};

// Integer of an INI value: optional sign, decimal digits or "0x"/"0X" and hex digits,
// within 32 bits; nothing otherwise.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);
// The port field: optional sign and decimal digits within a 32-bit signed integer only.
std::optional<std::int32_t> ParsePort(std::string_view text);

}  // namespace settings

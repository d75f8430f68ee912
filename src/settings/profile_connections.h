#pragma once
// The profile list operations of the list screen and the editor, carrying each profile's
// connection settings (Connect.dat) along: stored under the saved name, copied with a
// duplicate as its header and footer files are, and dropped with the last line of a name.
#include <cstddef>
#include <optional>
#include <string>

#include "settings/connection_settings.h"
#include "settings/profile_store.h"

namespace settings {

// The editor's "OK": adds the profile (no position) or replaces the line at `replace`, whose
// name was `oldName`. Connection values that cannot be stored are refused (platform::Error)
// before anything changes. Returns what the store's save returns.
std::size_t SaveProfileWithConnection(ProfileStore& profiles, ConnectionStore& connections,
                                      std::optional<std::size_t> replace,
                                      const TSenderProfile& profile, const std::string& oldName,
                                      const TConnectionSettings& connection);
void DuplicateProfileWithConnection(ProfileStore& profiles, ConnectionStore& connections,
                                    std::size_t pos);
void DeleteProfileWithConnection(ProfileStore& profiles, ConnectionStore& connections,
                                 std::size_t pos);

}  // namespace settings

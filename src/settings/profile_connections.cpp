#include "settings/profile_connections.h"

#include "platform/texts.h"

namespace settings {

namespace {

// Profiles share an entry by name: it goes only when no line of that name is left.
void DropIfUnused(const ProfileStore& profiles, ConnectionStore& connections,
                  const std::string& name) {
    if (!profiles.FindProfileIndex(name)) connections.RemoveProfile(name);
}

}  // namespace

std::size_t SaveProfileWithConnection(ProfileStore& profiles, ConnectionStore& connections,
                                      std::optional<std::size_t> replace,
                                      const TSenderProfile& profile, const std::string& oldName,
                                      const TConnectionSettings& connection) {
    // Refuses unstorable values first, while the profile list is still as it was.
    ConnectionStore check(connections.DataDir());
    check.SetProfile(profile.Name, connection);

    const std::size_t landed = replace ? profiles.ReplaceProfile(*replace, profile, oldName)
                                       : profiles.AddProfile(profile);
    connections.SetProfile(profile.Name, connection);
    if (replace && oldName != profile.Name) DropIfUnused(profiles, connections, oldName);
    return landed;
}

void DuplicateProfileWithConnection(ProfileStore& profiles, ConnectionStore& connections,
                                    std::size_t pos) {
    if (pos >= profiles.size()) return;
    const std::string name = profiles.NameAt(pos);
    profiles.DuplicateProfile(pos);
    connections.SetProfile(platform::texts().CopyPrefix + name, connections.ForProfile(name));
}

void DeleteProfileWithConnection(ProfileStore& profiles, ConnectionStore& connections,
                                 std::size_t pos) {
    if (pos >= profiles.size()) return;
    const std::string name = profiles.NameAt(pos);
    profiles.DeleteProfile(pos);
    DropIfUnused(profiles, connections, name);
}

}  // namespace settings

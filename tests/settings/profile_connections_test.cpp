// The profile list operations carry the connection settings along by name.
#include "settings/profile_connections.h"

#include <gtest/gtest.h>

#include "../platform/temp_dir.h"
#include "platform/data_dir.h"
#include "platform/error.h"
#include "platform/texts.h"

namespace {

using settings::ConnectionStore;
using settings::TConnectionSettings;
using settings::TSenderProfile;

TSenderProfile Profile(const std::string& name, const std::string& host = "h") {
    TSenderProfile p;
    p.Name = name;
    p.FtpHost = host;
    p.PopAuth = "0";
    p.DirectoryFixed = "0";
    return p;
}

TConnectionSettings Tls(int port) {
    TConnectionSettings s;
    s.FtpSecurity = settings::TSecurity::Explicit;
    s.FtpPort = port;
    return s;
}

class ProfileConnections : public testing::Test {
protected:
    fernlay_test::TempDir dir;
    settings::ProfileStore profiles{dir.path()};
    ConnectionStore connections{dir.path()};

    void SetUp() override {
        platform::WriteLines(dir.path() / "User.Inf", {settings::FormatProfileLine(Profile("A")),
                                                       settings::FormatProfileLine(Profile("B"))});
        profiles.LoadProfileList();
        connections.SetProfile("A", Tls(2121));
    }
    std::size_t At(const std::string& name) { return *profiles.FindProfileIndex(name); }
};

TEST_F(ProfileConnections, SavedUnderTheNewNameAndGoneFromTheOld) {
    settings::SaveProfileWithConnection(profiles, connections, At("A"), Profile("C"), "A",
                                        Tls(2222));
    EXPECT_EQ(connections.ForProfile("C"), Tls(2222));
    EXPECT_EQ(connections.ForProfile("A"), TConnectionSettings{});

    // A new profile; saving defaults leaves no entry.
    settings::SaveProfileWithConnection(profiles, connections, std::nullopt, Profile("D"), "",
                                        Tls(990));
    EXPECT_EQ(connections.ForProfile("D"), Tls(990));
    settings::SaveProfileWithConnection(profiles, connections, At("D"), Profile("D"), "D", {});
    EXPECT_EQ(connections.ForProfile("D"), TConnectionSettings{});
}

TEST_F(ProfileConnections, ANameStillInUseKeepsItsEntry) {
    // Two lines named A (an unsorted list may hold them): renaming one leaves the other's.
    platform::WriteLines(dir.path() / "User.Inf",
                         {settings::FormatProfileLine(Profile("A", "h1")),
                          settings::FormatProfileLine(Profile("A", "h2"))});
    profiles.LoadProfileList();
    settings::SaveProfileWithConnection(profiles, connections, 0, Profile("C"), "A", Tls(1));
    EXPECT_EQ(connections.ForProfile("A"), Tls(2121));
    settings::DeleteProfileWithConnection(profiles, connections, At("A"));
    EXPECT_EQ(connections.ForProfile("A"), TConnectionSettings{}) << "the last line of A went";
}

TEST_F(ProfileConnections, DuplicateCopiesAndDeleteDrops) {
    settings::DuplicateProfileWithConnection(profiles, connections, At("A"));
    const std::string copy = platform::texts().CopyPrefix + "A";
    ASSERT_TRUE(profiles.FindProfile(copy));
    EXPECT_EQ(connections.ForProfile(copy), Tls(2121));
    settings::DeleteProfileWithConnection(profiles, connections, At("A"));
    EXPECT_EQ(connections.ForProfile("A"), TConnectionSettings{});
    EXPECT_EQ(connections.ForProfile(copy), Tls(2121));
    // Out of range: nothing.
    settings::DeleteProfileWithConnection(profiles, connections, 99);
    EXPECT_EQ(profiles.size(), 2u);
}

TEST_F(ProfileConnections, UnstorableSettingsChangeNothing) {
    TConnectionSettings bad = Tls(21);
    bad.SmtpUser = "a\tb";
    EXPECT_THROW(
        settings::SaveProfileWithConnection(profiles, connections, At("A"), Profile("C"), "A", bad),
        platform::Error);
    EXPECT_TRUE(profiles.FindProfile("A"));
    EXPECT_FALSE(profiles.FindProfile("C"));
    EXPECT_EQ(connections.ForProfile("A"), Tls(2121));
}

}  // namespace

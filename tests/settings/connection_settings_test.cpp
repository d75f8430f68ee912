// Connection settings beside the older files: what is written, what is read back, and that a
// profile with no new settings leaves no trace.
#include "settings/connection_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../platform/temp_dir.h"
#include "platform/data_dir.h"
#include "platform/error.h"

namespace {

using settings::ConnectionStore;
using settings::TConnectionSettings;
using settings::TLoggedConnection;
using settings::TNameRule;
using settings::TSecurity;

TConnectionSettings Everything() {
    TConnectionSettings s;
    s.FtpPort = 990;
    s.FtpSecurity = TSecurity::Implicit;
    s.FtpNames = TNameRule::Automatic;
    s.FtpFingerprint = "AB:CD";
    s.SmtpPort = 587;
    s.SmtpSecurity = TSecurity::Explicit;
    s.SmtpAuth = true;
    s.SmtpUser = "taro";
    s.SmtpPassword = "p=a\\ss wo,rd";
    s.SmtpFingerprint = "01:02";
    s.PopPort = 995;
    s.PopSecurity = TSecurity::Implicit;
    s.PopFingerprint = "EF:01";
    return s;
}

TEST(ConnectionStore, RoundTripOwnerOnlyAndNothingForDefaults) {
    fernlay_test::TempDir dir;
    ConnectionStore store(dir.path());
    store.Load();  // no file: an empty store
    EXPECT_EQ(store.ForProfile("a"), TConnectionSettings{});
    store.SetProfile("plain", TConnectionSettings{});
    store.Save();
    EXPECT_FALSE(platform::FileExists(dir.path() / "Connect.dat")) << "defaults leave no file";

    const std::string name = "\x89\x63\x8B\xC6";  // a Shift_JIS profile name
    store.SetProfile(name, Everything());
    TLoggedConnection logged{TSecurity::Explicit, TNameRule::Automatic, true, "AA:BB"};
    store.SetLogRecord("02/11/05,a.txt,x,\\,,,h,21,u,0600,/www,3", logged);
    store.SetPassive(true);
    store.Save();
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() / "Connect.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "it holds the SMTP password";
    EXPECT_EQ(dir.Get("Connect.dat").find("p=a"), std::string::npos) << "password encoded";

    ConnectionStore again(dir.path());
    again.Load();
    EXPECT_EQ(again.ForProfile(name), Everything());
    EXPECT_EQ(again.ForProfile("plain"), TConnectionSettings{});
    EXPECT_EQ(again.ForLogRecord("02/11/05,a.txt,x,\\,,,h,21,u,0600,/www,3"), logged);
    EXPECT_TRUE(again.Passive());
}

TEST(ConnectionStore, EntriesFollowTheProfileAndHostileValuesAreRefused) {
    fernlay_test::TempDir dir;
    ConnectionStore store(dir.path());
    store.SetProfile("a", Everything());
    store.DuplicateProfile("a", "b");
    store.RenameProfile("a", "c");
    EXPECT_EQ(store.ForProfile("a"), TConnectionSettings{});
    EXPECT_EQ(store.ForProfile("b"), Everything());
    EXPECT_EQ(store.ForProfile("c"), Everything());
    store.RemoveProfile("b");
    EXPECT_EQ(store.ForProfile("b"), TConnectionSettings{});
    // A rename onto a name that had settings of its own: the renamed profile's (none) win.
    store.RenameProfile("none", "c");
    EXPECT_EQ(store.ForProfile("c"), TConnectionSettings{});

    for (const std::string& bad :
         std::vector<std::string>{"a\tb", "a\nb", "a\rb", std::string("a\0b", 3)}) {
        TConnectionSettings s;
        s.SmtpUser = bad;
        EXPECT_THROW(store.SetProfile("x", s), platform::Error);
        EXPECT_THROW(store.SetProfile(bad, Everything()), platform::Error);
        settings::TLoggedConnection tls;
        tls.FtpSecurity = TSecurity::Explicit;
        EXPECT_THROW(store.SetLogRecord(bad, tls), platform::Error);
        // Defaults need no entry, so nothing can be refused: a plain upload of a record with a
        // TAB goes on as always.
        EXPECT_NO_THROW(store.SetProfile(bad, TConnectionSettings{}));
        EXPECT_NO_THROW(store.SetLogRecord(bad, TLoggedConnection{}));
    }
}

// A profile without an entry connects as described: FTP 21, SMTP 25, POP3 110, no TLS,
// Shift_JIS names, active mode; choosing a security gives its standard port.
TEST(ConnectionStore, DescribedDefaultsAndStandardPorts) {
    fernlay_test::TempDir dir;
    ConnectionStore store(dir.path());
    store.Load();
    const TConnectionSettings s = store.ForProfile("never saved");
    EXPECT_EQ(s.FtpPort, 21);
    EXPECT_EQ(s.SmtpPort, 25);
    EXPECT_EQ(s.PopPort, 110);
    EXPECT_EQ(s.FtpSecurity, TSecurity::None);
    EXPECT_EQ(s.FtpNames, TNameRule::ShiftJis);
    EXPECT_FALSE(store.Passive());
    struct Ports {
        TSecurity security;
        int ftp, smtp, pop;
    };
    for (const Ports& p :
         {Ports{TSecurity::None, 21, 25, 110}, Ports{TSecurity::Explicit, 21, 587, 110},
          Ports{TSecurity::Implicit, 990, 465, 995}}) {
        EXPECT_EQ(settings::DefaultFtpPort(p.security), p.ftp);
        EXPECT_EQ(settings::DefaultSmtpPort(p.security), p.smtp);
        EXPECT_EQ(settings::DefaultPopPort(p.security), p.pop);
    }
}

TEST(ConnectionStore, HandEditedGarbageIsIgnored) {
    fernlay_test::TempDir dir;
    dir.Put("Connect.dat",
            "P\tx\tftp.port=99999\tftp.security=weird\tjunk\tsmtp.port=2525\r\n"
            "nonsense\r\nL\r\nZ\tk\tv=1\r\n");
    ConnectionStore store(dir.path());
    store.Load();
    TConnectionSettings expected;
    expected.SmtpPort = 2525;
    EXPECT_EQ(store.ForProfile("x"), expected);
    EXPECT_FALSE(store.Passive());
}

}  // namespace

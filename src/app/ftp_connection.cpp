#include "app/ftp_connection.h"

namespace app {

namespace {

ftp::TFtpSecurity FtpSecurityOf(settings::TSecurity security) {
    switch (security) {
        case settings::TSecurity::Explicit:
            return ftp::TFtpSecurity::Explicit;
        case settings::TSecurity::Implicit:
            return ftp::TFtpSecurity::Implicit;
        default:
            return ftp::TFtpSecurity::None;
    }
}

settings::TSecurity StoredSecurityOf(ftp::TFtpSecurity security) {
    switch (security) {
        case ftp::TFtpSecurity::Explicit:
            return settings::TSecurity::Explicit;
        case ftp::TFtpSecurity::Implicit:
            return settings::TSecurity::Implicit;
        default:
            return settings::TSecurity::None;
    }
}

}  // namespace

void SetFtpConnection(ftp::TFtpClient& ftp, settings::TSecurity security, settings::TNameRule names,
                      const std::string& fingerprint, bool passive) {
    ftp.Security = FtpSecurityOf(security);
    ftp.TrustedFingerprint = fingerprint;
    ftp.AutoUtf8 = names == settings::TNameRule::Automatic;
    ftp.Passive = passive;
}

settings::TLoggedConnection LoggedConnectionOf(const ftp::TFtpClient& ftp,
                                               settings::TNameRule names) {
    settings::TLoggedConnection c;
    c.FtpSecurity = StoredSecurityOf(ftp.Security);
    c.FtpNames = names;
    c.UsedUtf8 = ftp.Utf8Names();
    c.FtpFingerprint = ftp.TrustedFingerprint;
    return c;
}

}  // namespace app

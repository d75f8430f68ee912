#pragma once
// How the workflow's FTP clients connect beyond host and port: TLS, the trusted certificate,
// the file-name rule and the data-connection mode, as a profile or a log record gives them.
#include <string>

#include "ftp/ftp_client.h"
#include "settings/connection_settings.h"

namespace app {

void SetFtpConnection(ftp::TFtpClient& ftp, settings::TSecurity security, settings::TNameRule names,
                      const std::string& fingerprint, bool passive);

// What a log record keeps of the session that stored its file, so the deletion connects alike
// and names the file with the same bytes.
settings::TLoggedConnection LoggedConnectionOf(const ftp::TFtpClient& ftp,
                                               settings::TNameRule names);

}  // namespace app

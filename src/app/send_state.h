#pragma once
// The main screen's working state for one send, held for the whole run.
#include <cstdint>
#include <string>

#include "settings/profile_store.h"

namespace app {

struct TSendState {
    settings::TSenderProfile CurrentProfile;  // profile loaded into the main screen
    std::string FileName;                     // bare name (Shift_JIS), also the remote name
    std::string LocalPath;                    // full local path (Shift_JIS)
    std::int64_t FileSize = 0;                // bytes
    std::string RecipientName;                // name part of the chosen address entry
    std::string DirectoryText;                // directory captured at send start / fixed one
    std::string DownloadBase;                 // web address of the send directory, ends in "/"
    bool ResendMode = false;                  // next send repeats a logged one, mail only
    bool TransferOk = false;                  // the mail step of a send may run
    // Names reach the FTP server as UTF-8: after an upload, what its session did; for a chosen
    // resend, what the logged upload did; otherwise what the profile's name rule expects.
    // The download address encodes those bytes.
    bool Utf8Names = false;
};

}  // namespace app

#pragma once
// TCmdType: the transaction code an FTP command reports to OnSuccess/OnFailure, with the texts
// the send screen and the deletion window show for each code, kept here in one place.
#include <cstdint>
#include <string>

namespace ftp {

enum TCmdType : std::uint8_t {
    TransChangeDir = 0,
    TransMakeDir = 1,
    TransDelete = 2,
    TransRemoveDir = 3,
    TransList = 4,
    TransRename = 5,
    TransUploadRestore = 6,
    TransDownRestore = 7,
    TransDownload = 8,
    TransUpload = 9,
    TransUploadAppend = 10,
    TransReInit = 11,
    TransAllocate = 12,
    TransNList = 13,
    TransDoCommand = 14,
    TransPrintDir = 15,
};

inline constexpr int kCmdTypeCount = 16;

struct CmdTypeTexts {
    std::string name;              // "TransChangeDir"
    std::string send_success;      // send screen status on success; empty = nothing shown
    std::string send_failure;      // send screen status on failure; empty = nothing shown
    std::string delete_failure;    // deletion window status on failure; empty = nothing
    std::string delete_error_log;  // deletion window error-log line on failure; empty = nothing
};

// Texts of a code (Shift_JIS). Codes above 15 give empty texts.
const CmdTypeTexts& TextsOf(TCmdType code);

}  // namespace ftp

#pragma once
// The send log: one record of 12 comma-separated fields per uploaded file, kept in memory as a
// sorted line list and written to "Log.dat" at exit. The record carries the FTP connection
// data so that the file can later be deleted, and the name and size so that the notification
// can be repeated without a second upload.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sorted_line_list.h"

namespace app {

class MainScreen;

inline constexpr std::size_t kLogFieldCount = 12;
inline constexpr std::string_view kLogFileName = "Log.dat";

// Reads "Log.dat" of dataDir into a sorted log (empty when the file is missing); throws
// platform::FileError when it cannot be read. Writes the log whole (owner-only: the records
// hold the encoded FTP password).
void LoadSendLog(platform::SortedLineList& log, const std::filesystem::path& dataDir);
void SaveSendLog(const platform::SortedLineList& log, const std::filesystem::path& dataDir);

struct TLogRecord {
    std::string SendDate;         // yy/mm/dd, local date
    std::string LoggedFileName;   // bare name as stored on the server
    std::string LoggedRecipient;  // name part of the address entry
    std::string LoggedDirectory;  // directory field text, unnormalised
    std::string LoggedProxyHost;  // empty for a direct connection
    std::string LoggedProxyPort;  // decimal, 0 for a direct connection
    std::string LoggedFtpHost;
    std::string LoggedFtpPort;  // decimal
    std::string LoggedFtpUserId;
    std::string LoggedFtpPassword;  // password digit encoding
    std::string LoggedStartFolder;  // profile's start folder, unnormalised
    std::string LoggedFileSize;     // decimal bytes

    bool operator==(const TLogRecord&) const = default;
};

// Fields are taken up to each "," in turn; a line with fewer separators repeats its last
// field for the missing ones (a "," inside a field shifts the later ones).
TLogRecord ParseLogRecord(std::string_view line);
// The 12 fields joined by ",", nothing escaped.
std::string FormatLogRecord(const TLogRecord& record);
// "yy/mm/dd" of a local time.
std::string SendDateText(const std::tm& local);

// The values a record is made of at the end of an upload.
struct LogRecordSource {
    std::string FileName;
    std::string RecipientName;
    std::string DirectoryText;
    std::string ProxyHost;
    int ProxyPort = 0;
    std::string FtpHost;
    int FtpPort = 21;
    std::string FtpUserId;
    std::string FtpPassword;  // plain; encoded into the record
    std::string StartFolder;
    std::int64_t FileSize = 0;
};

std::string MakeLogRecord(const std::tm& local, const LogRecordSource& source);
// Adds the record at its sorted place (nothing when an equal line is present). A text with a
// CR, LF or NUL is refused (platform::Error naming it) and nothing is added. Returns the record.
std::string AppendLogRecord(platform::SortedLineList& log, const std::tm& local,
                            const LogRecordSource& source);

// The log grid shared by the resend and deletion windows: one data row per record (date,
// file name, recipient), or one blank row for an empty log. Row r (from 1) of the screen's
// grid is data row r - 1; row 0 is the header.
struct LogGridRow {
    std::string Date;
    std::string FileName;
    std::string Recipient;
    bool operator==(const LogGridRow&) const = default;
};
struct LogGrid {
    std::vector<LogGridRow> Rows;
    std::size_t ShownCount = 0;  // records shown; a selection counts only when above 0
};
LogGrid FillLogGrid(const platform::SortedLineList& log);

// The resend window's selection. Returns false (window stays open) when the logged size is
// not a decimal number, after showing the message; true when the window should close.
// A chosen entry turns resend mode on and also opens the mail gate (TransferOk), so a
// resend right after start really sends.
bool SelectResend(MainScreen& screen, int gridRow, std::size_t shownCount);

}  // namespace app

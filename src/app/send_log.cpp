#include "app/send_log.h"

#include <charconv>
#include <cstdio>

#include "app/main_screen.h"
#include "platform/data_dir.h"
#include "platform/one_line.h"
#include "platform/sjis.h"
#include "settings/profile_store.h"

namespace app {

namespace {

std::array<std::string*, kLogFieldCount> Fields(TLogRecord& r) {
    return {&r.SendDate,        &r.LoggedFileName,    &r.LoggedRecipient,   &r.LoggedDirectory,
            &r.LoggedProxyHost, &r.LoggedProxyPort,   &r.LoggedFtpHost,     &r.LoggedFtpPort,
            &r.LoggedFtpUserId, &r.LoggedFtpPassword, &r.LoggedStartFolder, &r.LoggedFileSize};
}

}  // namespace

TLogRecord ParseLogRecord(std::string_view line) {
    TLogRecord record;
    std::string_view rest = line;
    for (std::string* field : Fields(record)) {
        const std::size_t comma = platform::sjis::Find(rest, ',');
        if (comma == platform::sjis::npos) {
            *field = std::string(rest);
        } else {
            *field = std::string(rest.substr(0, comma));
            rest.remove_prefix(comma + 1);
        }
    }
    return record;
}

std::string FormatLogRecord(const TLogRecord& record) {
    TLogRecord copy = record;
    std::string line;
    bool first = true;
    for (const std::string* field : Fields(copy)) {
        if (!first) line += ',';
        first = false;
        line += *field;
    }
    return line;
}

void LoadSendLog(platform::SortedLineList& log, const std::filesystem::path& dataDir) {
    log = platform::SortedLineList(true);
    const auto path = platform::ResolveInDir(dataDir, kLogFileName);
    if (!platform::Absent(path)) log.Load(platform::ReadLines(path));
}

void SaveSendLog(const platform::SortedLineList& log, const std::filesystem::path& dataDir) {
    platform::WriteLines(platform::ResolveInDir(dataDir, kLogFileName), log.lines(),
                         platform::FileMode::OwnerOnly);
}

std::string SendDateText(const std::tm& local) {
    char text[40];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d", local.tm_year % 100, local.tm_mon + 1,
                  local.tm_mday);
    return text;
}

std::string MakeLogRecord(const std::tm& local, const LogRecordSource& s) {
    TLogRecord r;
    r.SendDate = SendDateText(local);
    r.LoggedFileName = s.FileName;
    r.LoggedRecipient = s.RecipientName;
    r.LoggedDirectory = s.DirectoryText;
    r.LoggedProxyHost = s.ProxyHost;
    r.LoggedProxyPort = std::to_string(s.ProxyPort);
    r.LoggedFtpHost = s.FtpHost;
    r.LoggedFtpPort = std::to_string(s.FtpPort);
    r.LoggedFtpUserId = s.FtpUserId;
    r.LoggedFtpPassword = settings::EncodePassword(s.FtpPassword);
    r.LoggedStartFolder = s.StartFolder;
    r.LoggedFileSize = std::to_string(s.FileSize);
    return FormatLogRecord(r);
}

std::string AppendLogRecord(platform::SortedLineList& log, const std::tm& local,
                            const LogRecordSource& source) {
    // A line break would end the record early and make its rest a record of its own.
    for (const auto& [text, name] :
         {std::pair{&source.FileName, "file name"}, std::pair{&source.RecipientName, "recipient"},
          std::pair{&source.DirectoryText, "directory"}, std::pair{&source.ProxyHost, "proxy host"},
          std::pair{&source.FtpHost, "FTP host"}, std::pair{&source.FtpUserId, "FTP user"},
          std::pair{&source.StartFolder, "start folder"}})
        platform::RequireOneLine(*text, std::string("the send log's ") + name);
    std::string line = MakeLogRecord(local, source);
    log.Add(line);
    return line;
}

LogGrid FillLogGrid(const platform::SortedLineList& log) {
    LogGrid grid;
    for (const std::string& line : log.lines()) {
        const TLogRecord r = ParseLogRecord(line);
        grid.Rows.push_back({r.SendDate, r.LoggedFileName, r.LoggedRecipient});
    }
    grid.ShownCount = grid.Rows.size();
    if (grid.Rows.empty()) grid.Rows.push_back({});
    return grid;
}

bool SelectResend(MainScreen& screen, int gridRow, std::size_t shownCount) {
    TSendState& state = screen.State();
    MainView& view = screen.View();
    state.ResendMode = false;
    if (gridRow < 1 || shownCount == 0 ||
        static_cast<std::size_t>(gridRow - 1) >= screen.LogList().size()) {
        return true;
    }
    const std::string& line = screen.LogList().at(static_cast<std::size_t>(gridRow - 1));
    const TLogRecord r = ParseLogRecord(line);
    // No local file belongs to a logged send: a file chosen earlier must not be uploaded under
    // the logged name when an edit ends resend mode.
    state.LocalPath.clear();
    state.FileName = r.LoggedFileName;
    view.SetFileText(r.LoggedFileName);
    screen.FileFieldChanged();
    view.SetDirectoryText(r.LoggedDirectory);
    screen.DirectoryFieldChanged();
    std::int64_t size = 0;
    const char* begin = r.LoggedFileSize.data();
    const char* end = begin + r.LoggedFileSize.size();
    const auto [ptr, ec] = std::from_chars(begin, end, size);
    if (r.LoggedFileSize.empty() || ec != std::errc() || ptr != end) {
        view.ShowMessage("'" + r.LoggedFileSize + "' is not a valid integer value");
        return false;
    }
    state.FileSize = size;
    // The notification names the file as the logged upload stored it.
    state.Utf8Names = screen.Connections().ForLogRecord(line).UsedUtf8;
    state.ResendMode = true;
    state.TransferOk = true;
    return true;
}

}  // namespace app

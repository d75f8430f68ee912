#pragma once
// The deletion window's logic: drop a logged send from the list, or delete the uploaded file
// from the server with the connection data of its log record and then drop the record.
// Its own FTP client walks into the start folder and the send directory segment by segment
// from the log-in directory, exactly as the upload did, and never creates a directory. It
// connects with the TLS, trusted certificate and name rule the upload used (kept beside the
// record in the connection store), so it names the file with the bytes the upload stored.
#include <cstddef>
#include <filesystem>

#include "app/deletion_view.h"
#include "ftp/ftp_client.h"
#include "platform/sorted_line_list.h"
#include "settings/connection_settings.h"
#include "settings/environment_settings.h"

namespace app {

// How a deletion attempt ended; the record is dropped only for Deleted and FileMissing.
enum class DeletionOutcome {
    NotStarted,        // nothing selected, empty log, or answered No
    ConnectFailed,     // connection or log-in failed
    DirectoryMissing,  // a folder of the path could not be entered
    Deleted,
    FileMissing,  // the server reported the file as not there
    Failed,       // another failure (TYPE or DELE refused otherwise, connection lost)
};

class Deletion {
public:
    Deletion(DeletionView& view, platform::SortedLineList& log,
             const settings::TEnvironmentSettings& environment,
             settings::ConnectionStore& connections, std::filesystem::path dataDir);
    Deletion(const Deletion&) = delete;
    Deletion& operator=(const Deletion&) = delete;

    // Fills the grid from the log list (when the window opens and after every removal).
    void FillGrid();
    void RemoveFromList();
    DeletionOutcome DeleteRemoteData();
    bool Running() const { return running_; }

    ftp::TFtpClient& Ftp() { return ftp_; }

private:
    void DeletionJob();
    bool EnterPath(const std::string& path);
    void ErrorLog(const std::string& message);
    // Drops the record at pos from the list, and its connection entry with it.
    void RemoveRecord(std::size_t pos);

    DeletionView& view_;
    platform::SortedLineList& log_;
    const settings::TEnvironmentSettings& environment_;
    settings::ConnectionStore& connections_;
    std::filesystem::path dataDir_;
    ftp::TFtpClient ftp_;
    std::size_t shownCount_ = 0;
    bool running_ = false;
    // The record being deleted while the job runs inside Connect.
    std::string startFolder_, directory_, fileName_;
    DeletionOutcome outcome_ = DeletionOutcome::NotStarted;
};

}  // namespace app

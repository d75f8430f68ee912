#pragma once
// The "送信" action: checks, confirmation, the upload into the send directory with a one-second
// progress display, the log record, then the mail phase. In resend mode only the mail phase
// runs. Everything happens on the calling thread; the FTP client's waits run the event pump,
// so the screen repaints and the progress timer ticks while the job is inside Connect.
#include <string>

#include "app/dispatch.h"
#include "ftp/ftp_client.h"
#include "ftp/thread_timer.h"
#include "settings/connection_settings.h"

namespace app {

class MainScreen;

// How the upload phase of a send ended. Only Stored lets the notification go out.
enum class UploadOutcome {
    LogInFailed,  // no connection or no log-in: nothing was uploaded
    Failed,       // a step after the log-in failed: directory, transfer or completion reply
    Stored,       // the server confirmed the file with a 2xx reply, and it is logged
};

class SendJob {
public:
    explicit SendJob(MainScreen& screen);
    ~SendJob();
    SendJob(const SendJob&) = delete;
    SendJob& operator=(const SendJob&) = delete;

    // Returns when the job has ended. A call while a job runs does nothing.
    void StartSend();
    bool Running() const { return running_; }

    ftp::TFtpClient& Ftp() { return ftp_; }
    Dispatch& Mail() { return dispatch_; }

    // One tick of the progress display (the timer calls it every 1000 ms during an upload).
    void ProgressTick();

private:
    // Connects, runs UploadStep inside the log-in and says how it ended; reports a failure
    // that no event reported.
    UploadOutcome RunUpload();
    // The FTP client's OnConnect: everything after the log-in.
    UploadOutcome UploadStep();
    // The message refusing an FTP value that cannot go out as one command line; empty when
    // every one can.
    std::string UploadRefusal();
    // Pins the certificate the user trusted and stores it with the profile.
    void TrustCertificate(const std::string& fingerprint);
    // False when the walk stopped; the connection is closed then.
    bool ChangeToRemoteDirectory(const std::string& path);
    void StopProgress();
    void ErrorLog(const std::string& message);
    void OnSuccess(ftp::TCmdType code);
    void OnFailure(ftp::TCmdType code);

    MainScreen& screen_;
    ftp::TFtpClient ftp_;
    ftp::TThreadTimer progress_;
    Dispatch dispatch_;
    bool running_ = false;
    // What UploadStep returned, and why it failed (the client runs it inside Connect).
    UploadOutcome uploadOutcome_ = UploadOutcome::LogInFailed;
    std::string uploadFailure_;
    settings::TNameRule ftpNames_ = settings::TNameRule::ShiftJis;  // the rule of this upload
    std::size_t errorLines_ = 0;  // lines written to the error log by this job object
};

// The status text of a progress tick: name + "を転送中（" + sent + "ﾊﾞｲﾄ／" + total + "ﾊﾞｲﾄ）".
std::string ProgressText(const std::string& fileName, std::int64_t sent, std::int64_t total);
// The Yes/No question asked before every send (lines separated by CR).
std::string SendConfirmation(const std::string& fileName, const std::string& recipientName);

}  // namespace app

#pragma once
// The "送信" action: checks, confirmation, the upload into the send directory with a one-second
// progress display, the log record, then the mail phase. In resend mode only the mail phase
// runs. Everything happens on the calling thread; the FTP client's waits run the event pump,
// so the screen repaints and the progress timer ticks while the job is inside Connect.
#include <string>

#include "app/dispatch.h"
#include "ftp/ftp_client.h"
#include "ftp/thread_timer.h"

namespace app {

class MainScreen;

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
    void UploadStep();
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
};

// The status text of a progress tick: name + "を転送中（" + sent + "ﾊﾞｲﾄ／" + total + "ﾊﾞｲﾄ）".
std::string ProgressText(const std::string& fileName, std::int64_t sent, std::int64_t total);
// The Yes/No question asked before every send (lines separated by CR).
std::string SendConfirmation(const std::string& fileName, const std::string& recipientName);

}  // namespace app

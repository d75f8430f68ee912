#pragma once
// What the main-screen logic needs from its window. Every text is Shift_JIS; the Qt window
// converts at its boundary. Setting a field through this interface must not call back into
// MainScreen (the Qt window blocks its signals); the logic applies the consequences itself.
#include <optional>
#include <string>
#include <vector>

#include "app/certificate_trust.h"

namespace app {

class MainView {
public:
    virtual ~MainView() = default;

    // Sender selector: a drop-down list with free text entry.
    virtual void SetSenderItems(const std::vector<std::string>& items) = 0;
    virtual void SetSenderIndex(int index) = 0;
    virtual std::string SenderText() const = 0;

    // Recipient selector: free text entry too; the index is -1 when typed text selects no item.
    virtual void SetRecipientItems(const std::vector<std::string>& items) = 0;
    virtual void SetRecipientIndex(int index) = 0;
    virtual int RecipientIndex() const = 0;

    // File field (read-only) and directory field.
    virtual void SetFileText(const std::string& text) = 0;
    virtual std::string FileText() const = 0;
    virtual void SetDirectoryText(const std::string& text) = 0;
    virtual std::string DirectoryText() const = 0;
    // Fixed: read-only with a grey background; otherwise editable with a white one.
    virtual void SetDirectoryFixed(bool fixed) = 0;

    virtual void SetSubject(const std::string& text) = 0;
    virtual std::string Subject() const = 0;

    // Header, detail and footer areas as lists of lines.
    virtual void SetHeaderLines(const std::vector<std::string>& lines) = 0;
    virtual std::vector<std::string> HeaderLines() const = 0;
    virtual void SetDetailLines(const std::vector<std::string>& lines) = 0;
    virtual std::vector<std::string> DetailLines() const = 0;
    virtual void SetFooterLines(const std::vector<std::string>& lines) = 0;
    virtual std::vector<std::string> FooterLines() const = 0;

    // Status line and progress bar (0..100).
    virtual void SetStatus(const std::string& text) = 0;
    virtual std::string Status() const = 0;
    virtual void SetProgress(int position) = 0;

    // One-button message box and Yes/No question (true = Yes).
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    // A server certificate that did not verify: trust this one certificate (true = Yes)? The
    // question names the host, the reason and the SHA-256 fingerprint. A screen should offer
    // No as the default answer.
    virtual bool AskTrustCertificate(const CertificateQuestion& question) {
        return AskYesNo(question.Text());
    }

    // The platform's file-open dialog: the chosen path in the file system's own bytes
    // (UTF-8 here), or nothing when cancelled.
    virtual std::optional<std::string> AskOpenFileName() = 0;

    // Whole screen active or inactive (while a send or a modal screen runs).
    virtual void SetScreenEnabled(bool enabled) = 0;
};

}  // namespace app

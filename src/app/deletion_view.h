#pragma once
// What the deletion window's logic needs from its screen (texts in Shift_JIS).
#include <string>
#include <vector>

#include "app/certificate_trust.h"
#include "app/send_log.h"

namespace app {

class DeletionView {
public:
    virtual ~DeletionView() = default;
    virtual void SetGridRows(const std::vector<LogGridRow>& rows) = 0;
    // Selected grid row: 1 for the first data row, 0 or less for none or the header.
    virtual int SelectedRow() const = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual std::string Status() const = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    // As MainView::AskTrustCertificate.
    virtual bool AskTrustCertificate(const CertificateQuestion& question) {
        return AskYesNo(question.Text());
    }
};

}  // namespace app

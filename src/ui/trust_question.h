#pragma once
// The question before trusting a server certificate that did not verify: a warning with
// Yes and No, No being the default, the SHA-256 fingerprint selectable for comparing.
#include "app/certificate_trust.h"

class QWidget;

namespace ui {

// True when the user answers Yes.
bool AskTrust(QWidget* parent, const app::CertificateQuestion& question);

}  // namespace ui

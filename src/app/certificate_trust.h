#pragma once
// Secure connections as the user meets them: the words for a failed TLS connection (host and
// reason), and the question before trusting one server certificate that did not verify. Used
// by the send job, the deletion window and the mail phase.
#include <functional>
#include <optional>
#include <string>

#include "platform/net_error.h"

namespace app {

// A certificate that did not verify, put to the user: trust this one certificate from now on?
struct CertificateQuestion {
    std::string Host;         // the server as connected to
    std::string Reason;       // why it did not verify, in words (Shift_JIS, names the host)
    std::string Fingerprint;  // SHA-256 of the certificate, "AB:CD:..."
    // The whole question, lines separated by CR (Shift_JIS).
    std::string Text() const;
};

// The question for a certificate the user may trust: any failed verification except one that
// differs from a certificate already trusted. Nothing for other failures.
std::optional<CertificateQuestion> TrustQuestionFor(const platform::NetError& e,
                                                    const std::string& host);

// "「host」" + the reason of a TLS failure (Shift_JIS); empty when `e` is no TLS failure.
std::string TlsFailureText(const platform::NetError& e, const std::string& host);

// Runs `connect`. When it fails on a certificate the user may trust and `ask` answers Yes,
// hands the fingerprint to `trust` (which pins it for the next attempt and stores it) and
// runs `connect` once more. Any other failure propagates unchanged.
void ConnectTrusting(const std::function<void()>& connect, const std::string& host,
                     const std::function<bool(const CertificateQuestion&)>& ask,
                     const std::function<void(const std::string& fingerprint)>& trust);

}  // namespace app

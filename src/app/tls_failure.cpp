#include "app/tls_failure.h"

#include "platform/texts.h"

namespace app {

std::optional<std::string> TlsFailureText(const platform::NetError& error,
                                          const std::string& serverLabel, const std::string& host) {
    const auto& t = platform::texts();
    const std::string server = serverLabel + " " + host;
    const std::string* reason = nullptr;
    switch (error.Code()) {
        case platform::NetErrc::TlsHandshakeFailed:
        case platform::NetErrc::TlsRefused:
            return server + t.TlsHandshakeFailed;
        case platform::NetErrc::TlsUnknownIssuer:
            reason = &t.TlsUnknownIssuer;
            break;
        case platform::NetErrc::TlsNameMismatch:
            reason = &t.TlsNameMismatch;
            break;
        case platform::NetErrc::TlsExpired:
            reason = &t.TlsExpired;
            break;
        case platform::NetErrc::TlsNotYetValid:
            reason = &t.TlsNotYetValid;
            break;
        case platform::NetErrc::TlsCertificateInvalid:
            reason = &t.TlsCertificateInvalid;
            break;
        case platform::NetErrc::TlsCertificateChanged:
            reason = &t.TlsCertificateChanged;
            break;
        default:
            return std::nullopt;
    }
    return server + t.TlsCertificateFailed + *reason;
}

}  // namespace app

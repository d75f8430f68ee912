#include "app/certificate_trust.h"

#include "platform/texts.h"

namespace app {

namespace {

using platform::NetErrc;

// The reason's text after "「host」", or nullptr for a failure that is not about TLS.
const std::string* ReasonText(NetErrc code) {
    const auto& t = platform::texts();
    switch (code) {
        case NetErrc::TlsUnknownIssuer:
            return &t.TlsUnknownIssuer;
        case NetErrc::TlsNameMismatch:
            return &t.TlsNameMismatch;
        case NetErrc::TlsExpired:
            return &t.TlsExpired;
        case NetErrc::TlsNotYetValid:
            return &t.TlsNotYetValid;
        case NetErrc::TlsCertificateInvalid:
            return &t.TlsCertificateInvalid;
        case NetErrc::TlsCertificateChanged:
            return &t.TlsCertificateChanged;
        case NetErrc::TlsRefused:
            return &t.TlsRefused;
        case NetErrc::TlsHandshakeFailed:
            return &t.TlsHandshakeFailed;
        default:
            return nullptr;
    }
}

}  // namespace

std::string CertificateQuestion::Text() const {
    const auto& t = platform::texts();
    return Reason + "\r\r" + t.TrustFingerprint + "\r" + Fingerprint + "\r\r" + t.TrustQuestion +
           "\r" + t.TrustRemembered;
}

std::string TlsFailureText(const platform::NetError& e, const std::string& host) {
    const std::string* reason = ReasonText(e.Code());
    if (!reason) return {};
    const auto& t = platform::texts();
    return t.FieldOpen + host + t.FieldClose + *reason;
}

std::optional<CertificateQuestion> TrustQuestionFor(const platform::NetError& e,
                                                    const std::string& host) {
    const auto* verify = dynamic_cast<const platform::TlsVerifyError*>(&e);
    // A changed certificate is refused again: trusting it anew takes forgetting the old one.
    if (!verify || verify->Fingerprint.empty() || e.Code() == NetErrc::TlsCertificateChanged)
        return std::nullopt;
    return CertificateQuestion{host, TlsFailureText(e, host), verify->Fingerprint};
}

void ConnectTrusting(const std::function<void()>& connect, const std::string& host,
                     const std::function<bool(const CertificateQuestion&)>& ask,
                     const std::function<void(const std::string& fingerprint)>& trust) {
    std::optional<CertificateQuestion> question;
    try {
        connect();
        return;
    } catch (const platform::NetError& e) {
        question = TrustQuestionFor(e, host);
        if (!question || !ask(*question)) throw;
    }
    trust(question->Fingerprint);
    connect();
}

}  // namespace app

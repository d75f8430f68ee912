#include "platform/net_error.h"

namespace platform {

namespace {

class Category : public std::error_category {
public:
    const char* name() const noexcept override { return "net"; }
    std::string message(int value) const override {
        switch (static_cast<NetErrc>(value)) {
            case NetErrc::LookupFailed:
                return "Host Lookup Failed";
            case NetErrc::LookupTimedOut:
                return "Host Lookup Timed Out";
            case NetErrc::ConnectFailed:
                return "Connection Failed";
            case NetErrc::ConnectTimedOut:
                return "Connection Timed out";
            case NetErrc::Canceled:
                return "Canceled";
            case NetErrc::Closed:
                return "Connection closed by server";
            case NetErrc::ReplyTimedOut:
                return "No reply from server";
            case NetErrc::SendTimedOut:
                return "Send Timed Out";
            case NetErrc::LineTooLong:
                return "Line too long";
            case NetErrc::ReadFailed:
                return "Receive failed";
            case NetErrc::SendFailed:
                return "Send failed";
            case NetErrc::TlsHandshakeFailed:
                return "TLS handshake failed";
            case NetErrc::TlsUnknownIssuer:
                return "Certificate issuer unknown";
            case NetErrc::TlsNameMismatch:
                return "Certificate name mismatch";
            case NetErrc::TlsExpired:
                return "Certificate expired";
            case NetErrc::TlsNotYetValid:
                return "Certificate not yet valid";
            case NetErrc::TlsCertificateInvalid:
                return "Certificate invalid";
            case NetErrc::TlsCertificateChanged:
                return "Certificate changed";
            case NetErrc::TlsRefused:
                return "TLS refused by server";
            case NetErrc::NotConnected:
                return "Not Connected";
        }
        return "Network error " + std::to_string(value);
    }
};

std::string Compose(NetErrc code, const std::string& detail) {
    std::string text = NetCategory().message(static_cast<int>(code));
    if (!detail.empty()) text += " (" + detail + ")";
    return text;
}

}  // namespace

const std::error_category& NetCategory() {
    static const Category category;
    return category;
}

std::error_code make_error_code(NetErrc e) { return {static_cast<int>(e), NetCategory()}; }

NetError::NetError(NetErrc code, const std::string& detail, int systemError)
    : Error(Compose(code, detail)), code_(code), detail_(detail), system_error_(systemError) {}
NetError::~NetError() = default;
TlsVerifyError::~TlsVerifyError() = default;

}  // namespace platform

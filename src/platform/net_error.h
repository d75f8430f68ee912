#pragma once
// Failures of the connection layer. The code says what went wrong (screens map it to their own
// words); the message adds the host and the system's reason for the error log.
#include <string>
#include <system_error>

#include "platform/error.h"

namespace platform {

enum class NetErrc {
    LookupFailed = 1,       // the host name is unknown
    LookupTimedOut,         // the name lookup did not answer in time
    ConnectFailed,          // refused, unreachable
    ConnectTimedOut,        // no answer to the connection request in time
    Canceled,               // the user (or a handler) asked the wait to end
    Closed,                 // the server closed the connection
    ReplyTimedOut,          // a whole reply did not arrive in time
    SendTimedOut,           // the server took no data for the time-out
    LineTooLong,            // a line without an end beyond the cap
    ReadFailed,             // a receive error
    SendFailed,             // a send error
    TlsHandshakeFailed,     // no TLS session could be set up
    TlsUnknownIssuer,       // certificate not signed by a trusted authority (or self-signed)
    TlsNameMismatch,        // certificate issued for another host
    TlsExpired,             // certificate expired
    TlsNotYetValid,         // certificate not valid yet
    TlsCertificateInvalid,  // any other verification failure
    TlsCertificateChanged,  // not the certificate the user trusted
    TlsRefused,             // the server refused to switch to TLS
    NotConnected,
};

const std::error_category& NetCategory();
std::error_code make_error_code(NetErrc e);

class NetError : public Error {
public:
    NetError(NetErrc code, const std::string& detail, int systemError = 0);
    ~NetError() override;
    NetErrc Code() const { return code_; }
    // The errno behind the failure, 0 when none.
    int SystemError() const { return system_error_; }
    // What the message adds to the code's text (host, system reason); may be empty.
    const std::string& Detail() const { return detail_; }

private:
    NetErrc code_;
    std::string detail_;
    int system_error_;
};

// A certificate that did not verify: carries what a trust dialog shows.
class TlsVerifyError : public NetError {
public:
    TlsVerifyError(NetErrc code, const std::string& detail, std::string host,
                   std::string fingerprint)
        : NetError(code, detail), Host(std::move(host)), Fingerprint(std::move(fingerprint)) {}
    ~TlsVerifyError() override;
    std::string Host;
    std::string Fingerprint;  // SHA-256 of the server certificate, "AB:CD:..."
};

}  // namespace platform

template <>
struct std::is_error_code_enum<platform::NetErrc> : std::true_type {};

#pragma once
// The screen's words for a connection whose TLS could not be set up.
#include <optional>
#include <string>

#include "platform/net_error.h"

namespace app {

// serverLabel + " " + host + what went wrong (Shift_JIS); nothing when the error is no TLS
// failure.
std::optional<std::string> TlsFailureText(const platform::NetError& error,
                                          const std::string& serverLabel, const std::string& host);

}  // namespace app

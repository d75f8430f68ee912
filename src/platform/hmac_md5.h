#pragma once
// HMAC-MD5 for the CRAM-MD5 log-in of mail servers; OpenSSL stays inside the platform.
#include <string>
#include <string_view>

namespace platform {

// HMAC-MD5 of `data` under `key`, as 32 lower-case hex digits.
std::string HmacMd5Hex(std::string_view key, std::string_view data);

}  // namespace platform

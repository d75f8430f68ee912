#pragma once
// Shift_JIS <-> UTF-8 where text meets the screens (and file names, which are the UTF-8
// form of a Shift_JIS name). Conversion uses code page 932.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Shift_JIS -> UTF-8; a byte sequence that is not valid Shift_JIS becomes U+FFFD.
std::string SjisToUtf8(std::string_view sjis);

// Shift_JIS -> UTF-8, or nothing when the text holds an invalid byte sequence.
std::optional<std::string> TrySjisToUtf8(std::string_view sjis);

// UTF-8 -> Shift_JIS; a character without a Shift_JIS form (or invalid UTF-8) becomes "?".
std::string Utf8ToSjis(std::string_view utf8);

// UTF-8 -> Shift_JIS, or nothing when some character has no Shift_JIS form.
std::optional<std::string> TryUtf8ToSjis(std::string_view utf8);

// True when every character of the UTF-8 text can be written in Shift_JIS.
inline bool CanEncodeSjis(std::string_view utf8) { return TryUtf8ToSjis(utf8).has_value(); }

}  // namespace platform

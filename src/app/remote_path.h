#pragma once
// Directory text -> remote path: one leading "\" or "/" becomes "/", one trailing separator is
// dropped, every "\" becomes "/". Separators count only as whole single-byte characters of the
// Shift_JIS text, never as the trail byte of a double-byte character.
#include <string>
#include <string_view>

namespace app {

std::string NormalizeRemotePath(std::string_view text);

}  // namespace app

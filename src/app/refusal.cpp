#include "app/refusal.h"

#include "platform/texts.h"

namespace app {

std::string RefusalMessage(const std::string& fieldName, RefusalReason reason) {
    const auto& t = platform::texts();
    const std::string& why = reason == RefusalReason::ControlCharacter ? t.RefusedControlCharacter
                             : reason == RefusalReason::Address        ? t.RefusedAddress
                             : reason == RefusalReason::Port           ? t.RefusedPort
                                                                       : t.RefusedTooLong;
    return t.FieldOpen + fieldName + t.FieldClose + why;
}

}  // namespace app

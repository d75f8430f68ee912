#include "platform/error.h"

namespace platform {
Error::~Error() = default;
}  // namespace platform

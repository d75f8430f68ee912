#include "platform/error.h"

namespace platform {
Error::~Error() = default;
FileError::~FileError() = default;
}  // namespace platform

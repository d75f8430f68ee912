#pragma once
// Base of every exception the program raises; screens catch this around each operation.
#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
    ~Error() override;
};

}  // namespace platform

#pragma once
// Base of every exception the program raises; screens catch this around each operation.
#include <filesystem>
#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
    ~Error() override;
};

// A data file that cannot be read, written, copied, moved or deleted. The message names
// the file and the system's reason.
class FileError : public Error {
public:
    FileError(const std::filesystem::path& path, const std::string& message)
        : Error(message), path_(path) {}
    ~FileError() override;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace platform

#pragma once
// A fresh directory under the system temp directory, removed with everything in it.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace apptest {

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("fernlay-app-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    void Write(std::string_view name, std::string_view bytes) const {
        std::ofstream out(path_ / std::string(name), std::ios::binary);
        out << bytes;
    }
    std::string Read(std::string_view name) const {
        std::ifstream in(path_ / std::string(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(std::string_view name) const {
        return std::filesystem::exists(path_ / std::string(name));
    }

private:
    std::filesystem::path path_;
};

}  // namespace apptest

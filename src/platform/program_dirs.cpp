#include "platform/program_dirs.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/data_dir.h"
#include "platform/error.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

// Settings, lists and header/footer texts; the error log is never read and stays behind.
bool IsDataFileName(const fs::path& name) {
    std::string ext = name.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* known : {".ini", ".inf", ".dat", ".hed", ".fot"})
        if (ext == known) return true;
    return false;
}

std::vector<fs::path> DataFilesIn(const fs::path& dir) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && IsDataFileName(it->path().filename()))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

void CreateOwnerOnlyDir(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return;
    if (dir.has_parent_path()) fs::create_directories(dir.parent_path(), ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw FileError(
            dir, "Cannot create the data folder \"" + dir.string() + "\": " + std::strerror(errno));
    if (!fs::is_directory(dir, ec))
        throw FileError(dir, "The data folder \"" + dir.string() + "\" is not a folder");
}

}  // namespace

fs::path ExecutablePath() {
    std::error_code ec;
    auto path = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : path;
}

fs::path InstalledShareDir(const fs::path& executable) {
    const fs::path bin = executable.parent_path();
    if (bin.filename() != "bin") return {};
    fs::path share = bin.parent_path() / "share" / "fernlay";
    std::error_code ec;
    return fs::is_directory(share, ec) ? share : fs::path();
}

fs::path HelpFilePath(const fs::path& executable) {
    const fs::path beside = fs::path(executable).replace_extension(".hlp");
    std::vector<fs::path> folders{executable.parent_path()};
    if (fs::path share = InstalledShareDir(executable); !share.empty()) folders.push_back(share);
    std::error_code ec;
    for (const fs::path& folder : folders) {
        for (const char* ext : {".hlp", ".html"}) {
            fs::path candidate = folder / beside.filename().replace_extension(ext);
            if (fs::is_regular_file(candidate, ec)) return candidate;
        }
    }
    return beside;
}

fs::path UserDataDir(const char* xdgDataHome, const char* home) {
    // Relative values are invalid for the XDG variables and are ignored.
    if (xdgDataHome && xdgDataHome[0] == '/') return fs::path(xdgDataHome) / "fernlay";
    return fs::path(home ? home : "") / ".local" / "share" / "fernlay";
}

fs::path UserDataDir() {
    const char* home = ::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = ::getpwuid(::geteuid());
        home = pw ? pw->pw_dir : "/";
    }
    return UserDataDir(::getenv("XDG_DATA_HOME"), home);
}

bool CanCreateFilesIn(const fs::path& dir) {
    std::string probe = (dir / ".fernlay-probe-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

DataDirChoice ChooseDataDir(const fs::path& executable, const fs::path& userDir) {
    const fs::path exeDir = executable.parent_path();
    if (!exeDir.empty() && InstalledShareDir(executable).empty() && CanCreateFilesIn(exeDir))
        return {exeDir, true, {}};

    DataDirChoice choice{userDir, false, {}};
    CreateOwnerOnlyDir(userDir);
    if (!DataFilesIn(userDir).empty()) return choice;
    for (const fs::path& old : DataFilesIn(exeDir)) {
        // The new folder is private; every copied file is too.
        WriteBytes(userDir / old.filename(), ReadBytes(old), FileMode::OwnerOnly);
        choice.Copied.push_back(old.filename().string());
    }
    return choice;
}

}  // namespace platform

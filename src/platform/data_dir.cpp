#include "platform/data_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/error.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

std::atomic<int> writeCountdown{0};
std::atomic<int> renameCountdown{0};
std::atomic<int> deleteCountdown{0};

// True when an armed countdown reaches this operation.
bool Fires(std::atomic<int>& countdown) {
    int n = countdown.load();
    while (n > 0) {
        if (countdown.compare_exchange_weak(n, n - 1)) return n == 1;
    }
    return false;
}

[[noreturn]] void Fail(const fs::path& path, const std::string& what, int err) {
    throw FileError(path, what + " \"" + path.string() + "\": " + std::strerror(err));
}

// A path with a NUL inside would be cut short by the system calls and name another file.
const char* CPath(const fs::path& path) {
    if (path.native().find('\0') != std::string::npos) Fail(path, "Invalid file name", EINVAL);
    return path.c_str();
}

bool EqualAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

mode_t CreateMode(FileMode mode) { return mode == FileMode::OwnerOnly ? 0600 : 0666; }

// Owner-only files are always 0600; others keep the permissions of the file they replace,
// or get 0666 less the umask.
mode_t Permissions(const fs::path& path, FileMode mode) {
    if (mode == FileMode::OwnerOnly) return 0600;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void WriteAll(int fd, const fs::path& path, std::string_view bytes) {
    if (Fires(writeCountdown)) Fail(path, "Cannot write", ENOSPC);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(path, "Cannot write", errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

void SyncDir(const fs::path& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

fs::path ResolveInDir(const fs::path& dir, std::string_view name) {
    fs::path exact = dir / fs::path(std::string(name));
    std::error_code ec;
    if (fs::exists(fs::symlink_status(exact, ec))) return exact;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (EqualAsciiNoCase(it->path().filename().string(), name)) return it->path();
    }
    return exact;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        std::size_t end = lf;
        if (end > start && text[end - 1] == '\r') --end;
        lines.emplace_back(text.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::size_t total = 0;
    for (const auto& l : lines) total += l.size() + 2;
    std::string out;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

bool FileExists(const fs::path& path) {
    if (path.native().find('\0') != std::string::npos) return false;
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string ReadBytes(const fs::path& path) {
    const int fd = ::open(CPath(path), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail(path, "Cannot open", errno);
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            Fail(path, "Cannot read", err);
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

std::vector<std::string> ReadLines(const fs::path& path) { return SplitLines(ReadBytes(path)); }

void WriteBytes(const fs::path& path, std::string_view bytes, FileMode mode) {
    const fs::path dir = path.parent_path();
    CPath(path);
    std::string tmpl = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) Fail(path, "Cannot create a temporary file for", errno);
    const fs::path tmp(tmpl);
    try {
        if (::fchmod(fd, Permissions(path, mode)) != 0)
            Fail(path, "Cannot set permissions of", errno);
        WriteAll(fd, path, bytes);
        if (::fsync(fd) != 0) Fail(path, "Cannot flush", errno);
        if (::close(fd) != 0) {
            const int err = errno;
            ::unlink(tmp.c_str());
            Fail(path, "Cannot close", err);
        }
    } catch (...) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    if (Fires(renameCountdown)) {
        ::unlink(tmp.c_str());
        Fail(path, "Cannot replace", EIO);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        Fail(path, "Cannot replace", err);
    }
    SyncDir(dir);
}

void WriteLines(const fs::path& path, const std::vector<std::string>& lines, FileMode mode) {
    WriteBytes(path, JoinLines(lines), mode);
}

void AppendLine(const fs::path& path, std::string_view line, FileMode mode) {
    const int fd = ::open(CPath(path), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, CreateMode(mode));
    if (fd < 0) Fail(path, "Cannot open", errno);
    std::string data(line);
    data += "\r\n";
    try {
        WriteAll(fd, path, data);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) Fail(path, "Cannot close", errno);
}

void CreateEmpty(const fs::path& path, FileMode mode) { WriteBytes(path, {}, mode); }

void CopyFileOver(const fs::path& from, const fs::path& to) {
    struct stat st {};
    const std::string bytes = ReadBytes(from);
    const bool ownerOnly = ::stat(from.c_str(), &st) == 0 && (st.st_mode & 0077) == 0;
    WriteBytes(to, bytes, ownerOnly ? FileMode::OwnerOnly : FileMode::Normal);
}

void MoveFileTo(const fs::path& from, const fs::path& to) {
    CPath(to);
    if (!FileExists(from)) Fail(from, "Cannot move", ENOENT);
    struct stat a {
    }, b{};
    const bool targetExists = ::lstat(to.c_str(), &b) == 0;
    const bool sameFile = targetExists && ::stat(from.c_str(), &a) == 0 && a.st_dev == b.st_dev &&
                          a.st_ino == b.st_ino;
    // A change of letter case only names the same file; that rename is allowed.
    if (targetExists && !sameFile) Fail(to, "Cannot move onto existing", EEXIST);
    if (Fires(renameCountdown)) Fail(to, "Cannot move to", EIO);
    // link+unlink refuses to replace a file that appeared meanwhile; fall back to rename
    // where hard links are not possible or for a case-only change.
    if (!sameFile && ::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return;
    }
    if (!sameFile && errno == EEXIST) Fail(to, "Cannot move onto existing", EEXIST);
    if (::rename(from.c_str(), to.c_str()) != 0) Fail(to, "Cannot move to", errno);
}

void DeleteFile(const fs::path& path) {
    CPath(path);
    if (Fires(deleteCountdown)) Fail(path, "Cannot delete", EACCES);
    if (::unlink(path.c_str()) != 0) Fail(path, "Cannot delete", errno);
}

namespace faults {
void FailNthWrite(int n) { writeCountdown = n; }
void FailNthRename(int n) { renameCountdown = n; }
void FailNthDelete(int n) { deleteCountdown = n; }
void Reset() {
    writeCountdown = 0;
    renameCountdown = 0;
    deleteCountdown = 0;
}
}  // namespace faults

}  // namespace platform

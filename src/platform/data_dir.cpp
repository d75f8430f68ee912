#include "platform/data_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <system_error>
#include <utility>

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
    // A link's target is not the file being replaced.
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
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

// Cuts text fed in pieces into lines: CR LF, a bare LF or a bare CR ends a line, also when
// the CR and the LF of one ending arrive in different pieces.
class LineSplitter {
public:
    explicit LineSplitter(std::function<void(std::string_view)> line) : line_(std::move(line)) {}

    void Feed(std::string_view piece) {
        std::size_t i = 0;
        if (afterCr_ && !piece.empty() && piece.front() == '\n') i = 1;
        afterCr_ = false;
        std::size_t start = i;
        for (; i < piece.size(); ++i) {
            const char c = piece[i];
            if (c != '\r' && c != '\n') continue;
            Emit(piece.substr(start, i - start));
            if (c == '\r') {
                if (i + 1 == piece.size())
                    afterCr_ = true;
                else if (piece[i + 1] == '\n')
                    ++i;
            }
            start = i + 1;
        }
        partial_.append(piece.substr(start));
    }
    // A last line without an ending counts.
    void Finish() {
        if (!partial_.empty()) Emit({});
    }

private:
    void Emit(std::string_view tail) {
        if (partial_.empty()) {
            line_(tail);
            return;
        }
        partial_.append(tail);
        line_(partial_);
        partial_.clear();
    }

    std::function<void(std::string_view)> line_;
    std::string partial_;
    bool afterCr_ = false;
};

std::size_t CountLineEnds(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++n;
    }
    return n;
}

// Opens a file for reading. O_NONBLOCK and the type check keep a FIFO or a device put in
// place of a data file from blocking the program.
int OpenForReading(const fs::path& path) {
    const int fd = ::open(CPath(path), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) Fail(path, "Cannot open", errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        Fail(path, "Cannot read", err);
    }
    return fd;
}

// Reads the whole file in pieces of kPiece bytes, handing each to piece().
constexpr std::size_t kPiece = 1 << 20;
void ReadPieces(const fs::path& path, const std::function<void(std::string_view)>& piece) {
    const int fd = OpenForReading(path);
    std::string buf(kPiece, '\0');
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            Fail(path, "Cannot read", err);
        }
        if (n == 0) break;
        try {
            piece(std::string_view(buf.data(), static_cast<std::size_t>(n)));
        } catch (...) {
            ::close(fd);
            throw;
        }
    }
    ::close(fd);
}

bool IsTemporarySuffix(std::string_view s) {
    if (s.size() != 6) return false;
    for (const char c : s) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
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
    lines.reserve(CountLineEnds(text) + 1);
    LineSplitter split([&](std::string_view line) { lines.emplace_back(line); });
    split.Feed(text);
    split.Finish();
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

bool Absent(const fs::path& path) {
    if (path.native().find('\0') != std::string::npos) return false;
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

std::string ReadBytes(const fs::path& path) {
    std::string out;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (!ec) out.reserve(static_cast<std::size_t>(size));
    ReadPieces(path, [&](std::string_view piece) { out.append(piece); });
    return out;
}

void ForEachLine(const fs::path& path, const std::function<void(std::string_view)>& line) {
    LineSplitter split(line);
    ReadPieces(path, [&](std::string_view piece) { split.Feed(piece); });
    split.Finish();
}

std::vector<std::string> ReadLines(const fs::path& path) {
    // Counting first lets the vector be allocated once at its final size, instead of growing
    // to up to twice that while the lines are held.
    // (A CR LF split between two pieces counts twice: the reservation is only a hint.)
    std::size_t ends = 0;
    ReadPieces(path, [&](std::string_view piece) { ends += CountLineEnds(piece); });
    std::vector<std::string> lines;
    lines.reserve(ends + 1);
    ForEachLine(path, [&](std::string_view l) { lines.emplace_back(l); });
    return lines;
}

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
    // The line may carry a server's text: it must not reach whatever file a planted link
    // names. A link is replaced by a new file of our own, as the atomic rewrite does.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(CPath(path), kFlags, CreateMode(mode));
    if (fd < 0 && errno == ELOOP) {
        if (::unlink(path.c_str()) != 0) Fail(path, "Cannot replace the link", errno);
        fd = ::open(path.c_str(), kFlags | O_EXCL, CreateMode(mode));
    }
    if (fd < 0) Fail(path, "Cannot open", errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(path, "Cannot append to", EINVAL);
    }
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

void RemoveStaleTemporaries(const fs::path& dir,
                            const std::function<bool(std::string_view name)>& ours) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        // The temporary of name is "." + name + "." + six letters or digits (mkstemp).
        const std::string file = it->path().filename().string();
        if (file.size() < 9 || file[0] != '.' || file[file.size() - 7] != '.') continue;
        if (!IsTemporarySuffix(std::string_view(file).substr(file.size() - 6))) continue;
        if (!ours(std::string_view(file).substr(1, file.size() - 8))) continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        ::unlink(it->path().c_str());
    }
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

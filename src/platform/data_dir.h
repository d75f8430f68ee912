#pragma once
// Files of the data directory. Names match without regard to letter case; text files are
// read with CR LF, a bare LF or a bare CR ending a line and written with CR LF; every write goes to
// a temporary file in the same directory which is flushed to disk and renamed over the old one, so
// a failure never leaves a truncated file. Failures throw platform::FileError.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Permissions of a file this code creates (an existing file being replaced gets them too).
enum class FileMode {
    Normal,     // 0666 less the umask
    OwnerOnly,  // 0600: files that hold passwords
};

// dir / name, where an existing entry whose name equals name ignoring ASCII letter case
// wins (an exact match first); otherwise dir / name as given. name is the file system
// (UTF-8) form.
std::filesystem::path ResolveInDir(const std::filesystem::path& dir, std::string_view name);

// Splits text into lines: CR LF, a bare LF or a bare CR ends a line. A final line without an
// ending counts; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);
// Every line followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// A regular file (or a link to one) is at path.
bool FileExists(const std::filesystem::path& path);
// Nothing at all, not even a link, is at path: a data file that was never made. Anything
// else counts as present, so a directory or a FIFO in its place is a read error, never a
// missing file to be created over.
bool Absent(const std::filesystem::path& path);
std::string ReadBytes(const std::filesystem::path& path);
// Reading refuses anything but a regular file (a FIFO or device would block).
std::vector<std::string> ReadLines(const std::filesystem::path& path);
// Hands each line to line() as it is read, holding no more than one piece of the file.
void ForEachLine(const std::filesystem::path& path,
                 const std::function<void(std::string_view line)>& line);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes,
                FileMode mode = FileMode::Normal);
void WriteLines(const std::filesystem::path& path, const std::vector<std::string>& lines,
                FileMode mode = FileMode::Normal);
// Appends line + CR LF, creating the file when missing. A symbolic link in its place is
// replaced by a new file (never followed); anything else that is not a regular file is refused.
void AppendLine(const std::filesystem::path& path, std::string_view line,
                FileMode mode = FileMode::Normal);
// Creates an empty file, or empties an existing one.
void CreateEmpty(const std::filesystem::path& path, FileMode mode = FileMode::Normal);
// Copies from over to (replacing to atomically when it exists).
void CopyFileOver(const std::filesystem::path& from, const std::filesystem::path& to);
// Renames from to the new name; fails when to already exists (a different file).
void MoveFileTo(const std::filesystem::path& from, const std::filesystem::path& to);
void DeleteFile(const std::filesystem::path& path);

// Removes the temporary files that an interrupted write left in dir, for the file names that
// ours accepts; only regular files of this user.
void RemoveStaleTemporaries(const std::filesystem::path& dir,
                            const std::function<bool(std::string_view name)>& ours);

// Test-only fault injection by countdown. FailNthWrite(n): the n-th data write from now
// (1 = the next) fails as a full disk would; FailNthRename(n) likewise for the rename that
// puts a file in place (or a move); FailNthDelete(n) for DeleteFile. 0 disarms. Each
// disarms after firing.
namespace faults {
void FailNthWrite(int n);
void FailNthRename(int n);
void FailNthDelete(int n);
void Reset();
}  // namespace faults

}  // namespace platform

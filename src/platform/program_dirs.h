#pragma once
// Where the program's own files and its data files live. Both front ends ask here, so the
// screens and the command line always agree on the data directory.
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// The running program's executable (/proc/self/exe); empty when it cannot be read.
std::filesystem::path ExecutablePath();

// For an installed copy (<prefix>/bin/<name> beside <prefix>/share/fernlay) the folder of its
// shared files; empty for a copy run from anywhere else (build tree, portable folder).
std::filesystem::path InstalledShareDir(const std::filesystem::path& executable);

// The help file: "<name>.hlp", then the shipped "<name>.html", first beside the executable
// (portable use, the build tree), then in an installed copy's shared folder; when none
// exists, "<name>.hlp" beside the executable, so a message can name where it was looked for.
std::filesystem::path HelpFilePath(const std::filesystem::path& executable);

// The per-user data folder: $XDG_DATA_HOME/fernlay when that variable holds an absolute
// path, else <home>/.local/share/fernlay. The first form takes the values, the second reads
// the environment (and the password database when HOME is unset).
std::filesystem::path UserDataDir(const char* xdgDataHome, const char* home);
std::filesystem::path UserDataDir();

// True when this process can create a file in dir (tried, so a read-only mount counts).
bool CanCreateFilesIn(const std::filesystem::path& dir);

struct DataDirChoice {
    std::filesystem::path Dir;
    bool BesideExecutable = false;
    // Data files copied from beside the executable into a new per-user folder.
    std::vector<std::string> Copied;
};

// The data directory of the program at executable: its own folder when that is writable
// and it is not an installed copy; otherwise userDir, created readable by the owner only.
// When userDir holds no data file yet and the executable's folder does (an older portable
// copy that can no longer be written), those files are copied over once; the originals
// stay. Throws FileError when userDir cannot be created or a copy fails.
DataDirChoice ChooseDataDir(const std::filesystem::path& executable,
                            const std::filesystem::path& userDir);

}  // namespace platform

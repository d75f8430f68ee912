#include "platform/program_dirs.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

unsigned Permissions(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 0777;
}

void Put(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string Get(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs what in a child process that cannot write where it does not own (root ignores
// permission bits, so as root the child becomes nobody); returns what it printed.
std::string RunUnprivileged(const std::function<std::string()>& what) {
    int out[2];
    if (::pipe(out) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            _exit(2);
        std::string result;
        try {
            result = what();
        } catch (const std::exception& e) {
            result = std::string("threw: ") + e.what();
        }
        [[maybe_unused]] auto n = ::write(out[1], result.data(), result.size());
        _exit(0);
    }
    ::close(out[1]);
    std::string result;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) result.append(buf, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return result;
}

// A folder the unprivileged child may write.
void MakeWritable(const fs::path& dir) {
    fs::create_directories(dir);
    ::chmod(dir.c_str(), 0755);
    if (::geteuid() == 0) [[maybe_unused]]
        auto r = ::chown(dir.c_str(), kNobody, kNobody);
}

}  // namespace

TEST(ProgramDirs, UserDataDirFollowsXdgDataHome) {
    struct Case {
        const char* xdg;
        const char* home;
        fs::path expected;
    } cases[] = {
        {"/data/u", "/home/u", "/data/u/fernlay"},
        {nullptr, "/home/u", "/home/u/.local/share/fernlay"},
        {"", "/home/u", "/home/u/.local/share/fernlay"},
        {"rel/dir", "/home/u", "/home/u/.local/share/fernlay"},  // relative: ignored
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::UserDataDir(c.xdg, c.home), c.expected) << (c.xdg ? c.xdg : "unset");
}

TEST(ProgramDirs, WritableMeansAFileCanBeCreated) {
    fernlay_test::TempDir dir;
    EXPECT_TRUE(platform::CanCreateFilesIn(dir.path()));
    EXPECT_EQ(dir.Count(), 0u) << "the probe file must not stay";
    // Read-only for every user, root included.
    EXPECT_FALSE(platform::CanCreateFilesIn("/proc"));
    EXPECT_FALSE(platform::CanCreateFilesIn(dir / "missing"));
}

TEST(ProgramDirs, DataDirChoice) {
    struct Case {
        const char* name;
        bool exeWritable;
        bool installed;  // <prefix>/bin/fernlay beside <prefix>/share/fernlay
        std::vector<std::string> besideExe;
        std::vector<std::string> inUserDir;
        bool expectBeside;
        std::vector<std::string> expectCopied;
    } cases[] = {
        {"writable, empty", true, false, {}, {}, true, {}},
        {"writable, data in both places", true, false, {"User.Inf"}, {"Log.dat"}, true, {}},
        {"read-only, empty", false, false, {}, {}, false, {}},
        // Only data files move; the error log and the help file stay behind.
        {"read-only with old data",
         false,
         false,
         {"Adress.dat", "ErrorLog.txt", "USER.INF", "fernlay.hlp", "営業.hed"},
         {},
         false,
         {"Adress.dat", "USER.INF", "営業.hed"}},
        {"read-only with old data, user folder in use",
         false,
         false,
         {"User.Inf"},
         {"Adress.dat"},
         false,
         {}},
        {"installed copy, writable", true, true, {}, {}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fernlay_test::TempDir root;
        ::chmod(root.path().c_str(), 0755);
        const fs::path exeDir = c.installed ? root / "usr/bin" : root / "app";
        if (c.installed) fs::create_directories(root / "usr/share/fernlay");
        const fs::path exe = exeDir / "fernlay";
        fs::create_directories(exeDir);
        Put(exe, "program");
        for (const auto& f : c.besideExe) Put(exeDir / fs::u8path(f), "old " + f);
        const fs::path home = root / "home";
        MakeWritable(home);
        const fs::path userDir = home / ".local/share/fernlay";
        if (!c.inUserDir.empty()) {
            for (const fs::path& d : {home / ".local", home / ".local/share", userDir})
                MakeWritable(d);
            for (const auto& f : c.inUserDir) Put(userDir / f, "mine " + f);
        }
        if (c.exeWritable)
            MakeWritable(exeDir);
        else
            ::chmod(exeDir.c_str(), 0555);

        const std::string got = RunUnprivileged([&] {
            const auto choice = platform::ChooseDataDir(exe, userDir);
            std::string text =
                choice.Dir.string() + (choice.BesideExecutable ? "|beside" : "|user");
            for (const auto& f : choice.Copied) text += "|" + f;
            return text;
        });
        std::string expected =
            c.expectBeside ? exeDir.string() + "|beside" : userDir.string() + "|user";
        for (const auto& f : c.expectCopied) expected += "|" + fs::u8path(f).string();
        EXPECT_EQ(got, expected);

        if (c.inUserDir.empty()) {
            // Created only when used, and then private.
            if (c.expectBeside) {
                EXPECT_FALSE(fs::exists(userDir));
            } else {
                EXPECT_EQ(Permissions(userDir), 0700u);
            }
        }
        for (const auto& f : c.expectCopied) {
            EXPECT_EQ(Get(userDir / fs::u8path(f)), "old " + f);
            EXPECT_EQ(Permissions(userDir / fs::u8path(f)), 0600u) << f;
            EXPECT_EQ(Get(exeDir / fs::u8path(f)), "old " + f) << "the original stays";
        }
        for (const auto& f : c.inUserDir) EXPECT_EQ(Get(userDir / f), "mine " + f);
        EXPECT_FALSE(fs::exists(userDir / "ErrorLog.txt"));
        ::chmod(exeDir.c_str(), 0755);
    }
}

TEST(ProgramDirs, HelpFileBesideTheExecutableOrInTheInstalledShareFolder) {
    fernlay_test::TempDir root;
    const fs::path portable = root / "portable/fernlay";
    const fs::path installed = root / "usr/bin/fernlay";
    EXPECT_EQ(platform::HelpFilePath(portable), root / "portable/fernlay.hlp")
        << "named when missing";
    Put(root / "portable/fernlay.html", "shipped");
    EXPECT_EQ(platform::HelpFilePath(portable), root / "portable/fernlay.html");
    Put(root / "portable/fernlay.hlp", "own");
    EXPECT_EQ(platform::HelpFilePath(portable), root / "portable/fernlay.hlp") << ".hlp first";
    EXPECT_TRUE(platform::InstalledShareDir(portable).empty());

    Put(root / "usr/share/fernlay/fernlay.html", "help");
    EXPECT_EQ(platform::InstalledShareDir(installed), root / "usr/share/fernlay");
    EXPECT_EQ(platform::HelpFilePath(installed), root / "usr/share/fernlay/fernlay.html");
    Put(root / "usr/bin/fernlay.hlp", "beside");
    EXPECT_EQ(platform::HelpFilePath(installed), root / "usr/bin/fernlay.hlp") << "beside wins";
}

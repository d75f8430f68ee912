#include "platform/data_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using namespace std::string_literals;

namespace {
unsigned Permissions(const fs::path& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 0777;
}

class DataDirTest : public testing::Test {
protected:
    void TearDown() override { platform::faults::Reset(); }
    fernlay_test::TempDir dir;
};
}  // namespace

TEST(DataFileLines, SplitAndJoin) {
    struct Case {
        std::string text;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"\r\n\n", {"", ""}},
        {"a\rb\r\n", {"a", "b"}},  // a bare CR ends a line too
        {"a\r", {"a"}},
        {"x\r\r\n", {"x", ""}},
        {"a\r\rb", {"a", "", "b"}},
        {"\r", {""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::SplitLines(c.text), c.lines) << testing::PrintToString(c.text);
        // Writing back with CR LF and reading again gives the same lines.
        EXPECT_EQ(platform::SplitLines(platform::JoinLines(c.lines)), c.lines);
    }
    EXPECT_EQ(platform::JoinLines({"a", ""}), "a\r\n\r\n");
}

TEST_F(DataDirTest, NamesMatchWithoutRegardToCase) {
    dir.Put("User.Inf", "x");
    EXPECT_EQ(platform::ResolveInDir(dir.path(), "User.inf"), dir / "User.Inf");
    EXPECT_EQ(platform::ResolveInDir(dir.path(), "USER.INF"), dir / "User.Inf");
    EXPECT_EQ(platform::ResolveInDir(dir.path(), "Adress.dat"), dir / "Adress.dat");
    dir.Put("user.inf", "y");  // an exact match wins over another spelling
    EXPECT_EQ(platform::ResolveInDir(dir.path(), "user.inf"), dir / "user.inf");
}

TEST_F(DataDirTest, WritesCrLfAndReadsBack) {
    const Lines lines = {"\x95\x5C,a", "", "end"};
    platform::WriteLines(dir / "Adress.dat", lines);
    EXPECT_EQ(dir.Get("Adress.dat"), "\x95\x5C,a\r\n\r\nend\r\n");
    EXPECT_EQ(platform::ReadLines(dir / "Adress.dat"), lines);
    platform::AppendLine(dir / "Adress.dat", "more");
    EXPECT_EQ(platform::ReadLines(dir / "Adress.dat").back(), "more");
    platform::AppendLine(dir / "new.txt", "first");
    EXPECT_EQ(dir.Get("new.txt"), "first\r\n");
}

TEST_F(DataDirTest, FailedWriteOrRenameLeavesTheOldFileByteIdentical) {
    const std::string old = "old line\r\nsecond\n";
    dir.Put("Log.dat", old);
    for (int which = 0; which < 2; ++which) {
        if (which == 0) platform::faults::FailNthWrite(1);
        if (which == 1) platform::faults::FailNthRename(1);
        EXPECT_THROW(platform::WriteLines(dir / "Log.dat", {"new"}), platform::FileError);
        EXPECT_EQ(dir.Get("Log.dat"), old);
        EXPECT_EQ(dir.Count(), 1u) << "temporary file left behind";
    }
    // The countdown counts: the second write fails, the first goes through.
    platform::faults::FailNthWrite(2);
    platform::WriteLines(dir / "a.txt", {"1"});
    EXPECT_THROW(platform::WriteLines(dir / "Log.dat", {"2"}), platform::FileError);
    EXPECT_EQ(dir.Get("a.txt"), "1\r\n");
    EXPECT_EQ(dir.Get("Log.dat"), old);
    platform::WriteLines(dir / "Log.dat", {"3"});  // fired once, then disarmed
    EXPECT_EQ(dir.Get("Log.dat"), "3\r\n");
}

TEST_F(DataDirTest, PasswordFilesAreOwnerOnly) {
    dir.Put("Log.dat", "x");
    chmod((dir / "Log.dat").c_str(), 0644);
    platform::WriteLines(dir / "Log.dat", {"p"}, platform::FileMode::OwnerOnly);
    EXPECT_EQ(Permissions(dir / "Log.dat"), 0600u);
    platform::CreateEmpty(dir / "User.Inf", platform::FileMode::OwnerOnly);
    EXPECT_EQ(Permissions(dir / "User.Inf"), 0600u);
    // A normal file that is replaced keeps its permissions.
    dir.Put("Adress.dat", "x");
    chmod((dir / "Adress.dat").c_str(), 0640);
    platform::WriteLines(dir / "Adress.dat", {"y"});
    EXPECT_EQ(Permissions(dir / "Adress.dat"), 0640u);
}

TEST_F(DataDirTest, CopyOverwritesMoveRefusesAnExistingTarget) {
    dir.Put("A.hed", "a");
    dir.Put("B.hed", "b");
    platform::CopyFileOver(dir / "A.hed", dir / "B.hed");
    EXPECT_EQ(dir.Get("B.hed"), "a");
    dir.Put("B.hed", "b");
    EXPECT_THROW(platform::MoveFileTo(dir / "A.hed", dir / "B.hed"), platform::FileError);
    EXPECT_EQ(dir.Get("A.hed"), "a");
    EXPECT_EQ(dir.Get("B.hed"), "b");
    platform::MoveFileTo(dir / "A.hed", dir / "C.hed");
    EXPECT_FALSE(dir.Has("A.hed"));
    EXPECT_EQ(dir.Get("C.hed"), "a");
    platform::MoveFileTo(dir / "C.hed", dir / "c.hed");  // change of case only
    EXPECT_EQ(dir.Get("c.hed"), "a");
    platform::DeleteFile(dir / "c.hed");
    EXPECT_FALSE(dir.Has("c.hed"));
}

TEST_F(DataDirTest, ErrorsNameTheFile) {
    try {
        platform::ReadLines(dir / "missing.dat");
        FAIL() << "no error";
    } catch (const platform::FileError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.dat"), std::string::npos) << e.what();
        EXPECT_EQ(e.Path(), dir / "missing.dat");
    }
    EXPECT_THROW(platform::DeleteFile(dir / "missing.dat"), platform::Error);
    EXPECT_THROW(platform::MoveFileTo(dir / "missing.dat", dir / "x"), platform::Error);
    EXPECT_THROW(platform::WriteLines(dir / "no" / "such.dat", {"x"}), platform::FileError);

    // A NUL inside a name must not cut it down to another file's name.
    dir.Put("User.Inf", "keep");
    const fs::path cut = dir / std::string("User.Inf\0.hed", 13);
    EXPECT_FALSE(platform::FileExists(cut));
    EXPECT_THROW(platform::DeleteFile(cut), platform::FileError);
    EXPECT_THROW(platform::ReadBytes(cut), platform::FileError);
    EXPECT_THROW(platform::WriteBytes(cut, "x"), platform::FileError);
    EXPECT_EQ(dir.Get("User.Inf"), "keep");
}

TEST_F(DataDirTest, SeveralMegabytesOfOddBytesRoundTrip) {
    std::string big;
    for (int i = 0; big.size() < 6'000'000; ++i) {
        big += "line " + std::to_string(i) + ",\x95\x5C\xFF\x80\0\x85\r\n"s;
    }
    dir.Put("Log.dat", big);
    const Lines lines = platform::ReadLines(dir / "Log.dat");
    platform::WriteLines(dir / "Log.dat", lines, platform::FileMode::OwnerOnly);
    EXPECT_EQ(dir.Get("Log.dat"), big);
}

// Files are read in pieces of a mebibyte: a line and a CR LF may straddle two of them.
TEST_F(DataDirTest, LinesAndLineEndsAcrossReadPieces) {
    constexpr std::size_t kPiece = 1 << 20;
    const std::string longLine(kPiece - 1, 'a');
    const std::string straddling(kPiece + 10, 'b');
    dir.Put("Log.dat", longLine + "\r\n" + straddling + "\rc\nd");
    const Lines expected = {longLine, straddling, "c", "d"};
    EXPECT_EQ(platform::ReadLines(dir / "Log.dat"), expected);
    Lines seen;
    platform::ForEachLine(dir / "Log.dat", [&](std::string_view l) { seen.emplace_back(l); });
    EXPECT_EQ(seen, expected);
}

// A link, a FIFO or a directory where a data file belongs: nothing is written through the
// link, nothing blocks, and only a link is replaced by a file of our own.
TEST_F(DataDirTest, AppendNeverFollowsALinkAndNothingBlocksOnOddFiles) {
    fernlay_test::TempDir outside;
    outside.Put("victim.txt", "keep\n");
    fs::create_symlink(outside / "victim.txt", dir / "ErrorLog.txt");
    platform::AppendLine(dir / "ErrorLog.txt", "server text");
    EXPECT_EQ(outside.Get("victim.txt"), "keep\n");
    EXPECT_FALSE(fs::is_symlink(dir / "ErrorLog.txt"));
    EXPECT_EQ(dir.Get("ErrorLog.txt"), "server text\r\n");

    // A dangling link is no different.
    fs::create_symlink(outside / "absent.txt", dir / "Other.txt");
    platform::AppendLine(dir / "Other.txt", "x");
    EXPECT_FALSE(fs::exists(outside / "absent.txt"));
    EXPECT_EQ(dir.Get("Other.txt"), "x\r\n");

    ASSERT_EQ(::mkfifo((dir / "Log.dat").c_str(), 0600), 0);
    fs::create_directory(dir / "Adress.dat");
    for (const char* name : {"Log.dat", "Adress.dat"}) {
        EXPECT_THROW(platform::AppendLine(dir / name, "x"), platform::FileError) << name;
        EXPECT_THROW(platform::ReadLines(dir / name), platform::FileError) << name;
        EXPECT_THROW(platform::ReadBytes(dir / name), platform::FileError) << name;
        EXPECT_FALSE(platform::Absent(dir / name)) << name;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "Log.dat"));
    EXPECT_TRUE(platform::Absent(dir / "missing.dat"));
}

TEST_F(DataDirTest, StaleTemporariesOfOurFilesAreRemoved) {
    const auto ours = [](std::string_view name) { return name == "User.Inf" || name == "a.hed"; };
    dir.Put("User.Inf", "keep");
    dir.Put(".User.Inf.Ab12Cd", "stale copy");
    dir.Put(".a.hed.XXXXXX", "stale");
    dir.Put(".User.Inf.Ab12C", "five letters: not a temporary");
    dir.Put(".User.Inf.Ab-2Cd", "not mkstemp's letters");
    dir.Put(".notes.txt.Ab12Cd", "not one of ours");
    fs::create_directory(dir / ".a.hed.Zz99Zz");
    fs::create_symlink(dir / "User.Inf", dir / ".User.Inf.Qq11Qq");
    platform::RemoveStaleTemporaries(dir.path(), ours);
    EXPECT_FALSE(dir.Has(".User.Inf.Ab12Cd"));
    EXPECT_FALSE(dir.Has(".a.hed.XXXXXX"));
    for (const char* kept : {"User.Inf", ".User.Inf.Ab12C", ".User.Inf.Ab-2Cd", ".notes.txt.Ab12Cd",
                             ".a.hed.Zz99Zz", ".User.Inf.Qq11Qq"})
        EXPECT_TRUE(fs::exists(fs::symlink_status(dir / kept))) << kept;
    EXPECT_EQ(dir.Get("User.Inf"), "keep");
}

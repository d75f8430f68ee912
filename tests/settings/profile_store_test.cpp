// The profile list and its .hed/.fot files.
#include "settings/profile_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "../platform/temp_dir.h"
#include "platform/data_dir.h"
#include "platform/error.h"
#include "platform/texts.h"

using settings::ProfileStore;
using settings::TSenderProfile;
using Lines = std::vector<std::string>;

namespace {

TSenderProfile Profile(const std::string& name, const std::string& host = "h") {
    TSenderProfile p;
    p.Name = name;
    p.FtpHost = host;
    p.PopAuth = "0";
    p.DirectoryFixed = "0";
    return p;
}

std::string Line(const std::string& name, const std::string& host = "h") {
    return settings::FormatProfileLine(Profile(name, host));
}

class ProfileStoreTest : public testing::Test {
protected:
    ProfileStoreTest() {
        store.OnMessage = [this](const std::string& m) { messages.push_back(m); };
    }
    void TearDown() override { platform::faults::Reset(); }
    // A store loaded from a User.Inf holding these lines (sorted list).
    void LoadWith(const Lines& lines, const std::string& standard = "") {
        std::string text;
        for (const auto& l : lines) text += l + "\r\n";
        dir.Put("User.Inf", text);
        dir.Put("Defult.ini", "[USER]\r\nDefaultAdress=" + standard + "\r\n");
        store.LoadProfiles();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& row : store.GridRows()) names.push_back(row.Name);
        return names;
    }

    fernlay_test::TempDir dir;
    ProfileStore store{dir.path()};
    Lines messages;
};

}  // namespace

TEST_F(ProfileStoreTest, FirstStartCreatesAnEmptyListFileAndKeepsEntryOrder) {
    store.LoadProfiles();
    EXPECT_TRUE(dir.Has("User.Inf"));
    EXPECT_EQ(dir.Get("User.Inf"), "");
    EXPECT_EQ(store.StandardName(), "");
    EXPECT_EQ(store.SelectorItems(), Lines{platform::texts().NotRegistered});
    ASSERT_EQ(store.GridRows().size(), 1u);
    EXPECT_EQ(store.GridRows()[0].Name, "");

    store.AddProfile(Profile("b"));
    EXPECT_EQ(store.StandardName(), "b");  // the first saved profile becomes standard
    store.AddProfile(Profile("a"));
    store.AddProfile(Profile("a"));  // unsorted: held twice
    EXPECT_EQ(Names(), (Lines{"b", "a", "a"}));
    EXPECT_EQ(store.StandardName(), "b");

    store.SaveProfiles();
    EXPECT_EQ(dir.Get("User.Inf"), Line("b") + "\r\n" + Line("a") + "\r\n" + Line("a") + "\r\n");
    struct stat st {};
    stat((dir / "User.Inf").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // holds passwords
    EXPECT_EQ(dir.Get("Defult.ini"), "[USER]\r\nDefaultAdress=b\r\n");

    ProfileStore again(dir.path());  // next start: sorted, equal lines dropped
    again.LoadProfiles();
    EXPECT_EQ(again.Lines().lines(), (Lines{Line("a"), Line("b")}));
    EXPECT_EQ(again.StandardName(), "b");
}

TEST_F(ProfileStoreTest, ListFileIsFoundWhateverItsLetterCase) {
    dir.Put("user.inf", Line("x") + "\r\n");
    dir.Put("DEFULT.INI", "[user]\r\ndefaultadress=\"x\"\r\n");
    store.LoadProfiles();
    EXPECT_EQ(store.size(), 1u);
    EXPECT_EQ(store.StandardName(), "x");
}

TEST_F(ProfileStoreTest, LookupIsExactAndTheLastLineOfANameWins) {
    LoadWith({Line("Office", "first"), Line("office", "lower"), Line("Office", "second")});
    // The sorted list keeps all three ("Office,first" and "Office,second" differ).
    ASSERT_EQ(store.size(), 3u);
    EXPECT_EQ(store.FindProfile("Office")->FtpHost, "second");
    EXPECT_EQ(store.FindProfile("office")->FtpHost, "lower");
    EXPECT_FALSE(store.FindProfile("OFFICE").has_value());
    EXPECT_FALSE(store.FindProfile("Offic").has_value());

    store.SetStandardName("Office");
    EXPECT_EQ(store.StandardPosition(), *store.FindProfileIndex("Office"));
    store.SetStandardName("gone");
    EXPECT_EQ(store.StandardPosition(), 0u);
    for (const auto& row : store.GridRows()) EXPECT_EQ(row.Mark, "");
}

TEST_F(ProfileStoreTest, RenameMovesHeaderAndFooterAndCarriesTheStandardName) {
    LoadWith({Line("A"), Line("C")}, "A");
    dir.Put("A.hed", "head");
    dir.Put("A.fot", "foot");
    store.ReplaceProfile(0, Profile("B"), "A");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(dir.Get("B.hed"), "head");
    EXPECT_EQ(dir.Get("B.fot"), "foot");
    EXPECT_FALSE(dir.Has("A.hed"));
    EXPECT_FALSE(dir.Has("A.fot"));
    EXPECT_EQ(store.StandardName(), "B");
    EXPECT_EQ(Names(), (Lines{"B", "C"}));
    EXPECT_EQ(store.GridRows()[0].Mark, platform::texts().StandardMark);
}

TEST_F(ProfileStoreTest, RenameOntoAnExistingHeaderReportsAndLeavesBothFiles) {
    LoadWith({Line("A")});
    dir.Put("A.hed", "a-head");
    dir.Put("A.fot", "a-foot");
    dir.Put("b.hed", "b-head");  // another spelling of B.hed
    store.ReplaceProfile(0, Profile("B"), "A");
    EXPECT_EQ(messages, Lines{"Error renaming file!"});
    EXPECT_EQ(dir.Get("A.hed"), "a-head");
    EXPECT_EQ(dir.Get("b.hed"), "b-head");
    EXPECT_EQ(dir.Get("B.fot"), "a-foot");  // the save went on
    EXPECT_EQ(Names(), Lines{"B"});
}

TEST_F(ProfileStoreTest, RenameWithinCaseAndToJapaneseName) {
    LoadWith({Line("office")}, "office");
    dir.Put("office.hed", "h");
    store.ReplaceProfile(0, Profile("Office"), "office");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(dir.Get("Office.hed"), "h");
    EXPECT_EQ(store.StandardName(), "Office");

    const std::string jimusho = "\x8E\x96\x96\xB1\x8F\x8A";  // 事務所 in Shift_JIS
    store.ReplaceProfile(0, Profile(jimusho), "Office");
    EXPECT_EQ(dir.Get("事務所.hed"), "h");  // file named with the UTF-8 form
    EXPECT_EQ(store.HeaderPath(jimusho), dir / "事務所.hed");
}

TEST_F(ProfileStoreTest, ModifyWithoutRenameMovesNothingAndMayLoseAnEqualLine) {
    LoadWith({Line("A", "x"), Line("B", "y")}, "");
    dir.Put("A.hed", "h");
    EXPECT_EQ(store.ReplaceProfile(1, Profile("b", "x"), "B"), 1u);
    EXPECT_EQ(store.StandardName(), "A");  // an empty standard name takes the first line
    // Changing B into a line equal to A's (ignoring case) drops it.
    EXPECT_EQ(store.ReplaceProfile(1, Profile("a", "X"), "b"), platform::SortedLineList::npos);
    EXPECT_EQ(Names(), Lines{"A"});
    EXPECT_EQ(dir.Get("A.hed"), "h");
}

TEST_F(ProfileStoreTest, DuplicateCopiesTheLineAndExistingFiles) {
    const std::string source = "Office,h,/,u,058205880594,w,n,m,r,s,0,,,,1,\\a,b";
    LoadWith({source});
    dir.Put("Office.hed", "head");
    const std::string copy = platform::texts().CopyPrefix + "Office";
    const std::string copyUtf8 = "ｺﾋﾟｰOffice";
    dir.Put(copyUtf8 + ".hed", "stale");
    store.DuplicateProfile(0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(store.Lines().lines(), (Lines{"Office,h,/,u,058205880594,w,n,m,r,s,0,,,,1,\\a,b",
                                            copy + ",h,/,u,058205880594,w,n,m,r,s,0,,,,1,\\a,b"}));
    EXPECT_EQ(dir.Get(copyUtf8 + ".hed"), "head");  // overwritten
    EXPECT_FALSE(dir.Has(copyUtf8 + ".fot"));       // no footer to copy
    store.DuplicateProfile(0);                      // the same line again: dropped
    EXPECT_EQ(store.size(), 2u);
}

TEST_F(ProfileStoreTest, DuplicateIntoAnUnsortedListHoldsItTwice) {
    store.LoadProfiles();  // no file: unsorted
    store.AddProfile(Profile("N"));
    store.DuplicateProfile(0);
    store.DuplicateProfile(0);
    EXPECT_EQ(store.size(), 3u);
    EXPECT_EQ(store.NameAt(2), platform::texts().CopyPrefix + "N");
}

TEST_F(ProfileStoreTest, DeleteRemovesFilesButNotTheStandardName) {
    LoadWith({Line("A"), Line("B")}, "A");
    dir.Put("A.hed", "h");
    dir.Put("a.fot", "f");
    store.DeleteProfile(0);
    EXPECT_FALSE(dir.Has("A.hed"));
    EXPECT_FALSE(dir.Has("a.fot"));
    EXPECT_EQ(store.StandardName(), "A");
    EXPECT_EQ(Names(), Lines{"B"});
    EXPECT_EQ(store.GridRows()[0].Mark, "");
    EXPECT_EQ(store.StandardPosition(), 0u);
    store.DeleteProfile(0);
    EXPECT_EQ(store.GridRows().size(), 1u);
    EXPECT_EQ(store.SelectorItems(), Lines{platform::texts().NotRegistered});
    // Operations on an empty list do nothing.
    store.DeleteProfile(0);
    store.DuplicateProfile(0);
    store.SetStandardProfile(0);
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(store.StandardName(), "A");
    EXPECT_TRUE(messages.empty());
}

TEST_F(ProfileStoreTest, StandardFollowsTheSelectedRow) {
    LoadWith({Line("A"), Line("B")}, "A");
    store.SetStandardProfile(1);
    EXPECT_EQ(store.StandardName(), "B");
    EXPECT_EQ(store.GridRows()[0].Mark, "");
    EXPECT_EQ(store.GridRows()[1].Mark, platform::texts().StandardMark);
}

TEST_F(ProfileStoreTest, HandEditedListFileLoadsAndIsWrittenBackUnchanged) {
    // Already in the list's order, so nothing moves: blank line, too few and too many
    // fields, non-digit passwords, a lone CR (which ends its line), bytes that are not
    // Shift_JIS.
    const std::string text =
        "\r\n"
        "a\n"
        "b,h,/,u,zz9x,w\r\n"
        "c\rd,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18\r\n"
        "e,h,/,u,05820,w,n,m,r,s,1,p,a,12,1,\x95\r\n"
        "\x95\x5C\xFF\x80,x\r\n";
    dir.Put("User.Inf", text);
    store.LoadProfiles();
    ASSERT_EQ(store.size(), 7u);
    EXPECT_EQ(store.NameAt(3), "c");
    EXPECT_EQ(store.NameAt(4), "d");
    for (std::size_t i = 0; i < store.size(); ++i) {
        EXPECT_EQ(store.FindProfile(store.NameAt(i)).has_value(), true);
    }
    EXPECT_EQ(store.FindProfile("e")->FtpPassword, "a");
    store.SaveProfiles();
    std::string expected = text;
    expected.replace(expected.find("a\n"), 2, "a\r\n");
    expected.replace(expected.find("c\rd"), 3, "c\r\nd");
    EXPECT_EQ(dir.Get("User.Inf"), expected);
}

TEST_F(ProfileStoreTest, HandEditedNameCannotReachOutsideTheDataDirectory) {
    fernlay_test::TempDir outside;
    outside.Put("victim.hed", "keep");
    const std::string name = "../" + outside.path().filename().string() + "/victim";
    LoadWith({Line(name)});
    EXPECT_EQ(store.HeaderPath(name).parent_path(), dir.path());
    store.DeleteProfile(0);
    EXPECT_EQ(outside.Get("victim.hed"), "keep");

    // A NUL would cut the path before its extension and name the list file itself.
    const std::string cut = std::string("User.Inf") + '\0';
    LoadWith({Line(cut)});
    EXPECT_EQ(store.HeaderPath(cut).filename(), "User.Inf_.hed");
    store.DeleteProfile(0);
    EXPECT_TRUE(dir.Has("User.Inf"));
}

TEST_F(ProfileStoreTest, FailedCopyOrDeleteIsReportedAndTheListStillChanges) {
    LoadWith({Line("A")});
    dir.Put("A.hed", "h");
    dir.Put("A.fot", "f");
    platform::faults::FailNthWrite(1);  // the header copy fails, the footer copy works
    store.DuplicateProfile(0);
    EXPECT_EQ(messages, Lines{"Error renaming file!"});
    EXPECT_EQ(store.size(), 2u);
    EXPECT_EQ(dir.Get("ｺﾋﾟｰA.fot"), "f");
    EXPECT_FALSE(dir.Has("ｺﾋﾟｰA.hed"));

    platform::faults::FailNthDelete(2);  // the footer deletion fails
    store.DeleteProfile(0);
    EXPECT_EQ(messages, (Lines{"Error renaming file!", "Error renaming file!"}));
    EXPECT_FALSE(dir.Has("A.hed"));
    EXPECT_EQ(dir.Get("A.fot"), "f");
    EXPECT_EQ(Names(), Lines{platform::texts().CopyPrefix + "A"});
}

// A pasted line break must not split the profile line: a later start would find the
// profile cut short and a bogus one after it. Every field, every breaking character.
TEST_F(ProfileStoreTest, FieldsWithLineBreaksOrNulAreRefusedAndNothingChanges) {
    LoadWith({Line("A")});
    const std::string before = dir.Get("User.Inf");
    const std::string breaks[] = {"\r", "\n", std::string(1, '\0')};
    for (std::size_t field = 0; field < settings::kProfileFieldCount; ++field) {
        for (const std::string& bad : breaks) {
            TSenderProfile p = Profile("B");
            settings::ProfileField(p, field) = "x" + bad + "Bcc,y";
            const std::string what = std::string(settings::kProfileFieldNames[field]);
            try {
                store.AddProfile(p);
                ADD_FAILURE() << what << " taken";
            } catch (const platform::Error& e) {
                EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
            }
            EXPECT_THROW(store.ReplaceProfile(0, p, "A"), platform::Error) << what;
            ASSERT_EQ(store.Lines().lines(), Lines{Line("A")}) << what;
        }
    }
    store.SaveProfiles();
    EXPECT_EQ(dir.Get("User.Inf"), before);
}

#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "platform/data_dir.h"
#include "platform/error.h"
#include "temp_dir.h"

using platform::IniFile;

namespace {
const std::string kFile =
    "; kept comment\r\n"
    "[user]\r\n"
    "defaultadress = \"Office\"  \r\n"
    "Other='x'\n"
    "\r\n"
    "[FTP]\r\n"
    "r1=0x10\r\n"
    "R2 = 'half\r\n"
    "[Later]\r\n"
    "Key=v";
}

TEST(IniFile, ReadsIgnoringCaseTrimmedWithoutOnePairOfQuotes) {
    fernlay_test::TempDir dir;
    dir.Put("Defult.ini", kFile);
    const IniFile ini(dir / "Defult.ini");
    EXPECT_EQ(ini.ReadString("USER", "DefaultAdress", "d"), "Office");
    EXPECT_EQ(ini.ReadString("User", "other"), "x");
    EXPECT_EQ(ini.ReadString("ftp", "R1"), "0x10");
    EXPECT_EQ(ini.ReadString("FTP", "R2"), "'half");
    EXPECT_EQ(ini.ReadString("FTP", "R3", "1"), "1");
    EXPECT_EQ(ini.ReadString("Nope", "R1", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("later", "key"), "v");
    EXPECT_FALSE(ini.HasKey("USER", "R1"));
}

TEST(IniFile, WriteReplacesInPlaceAndKeepsEveryOtherByte) {
    fernlay_test::TempDir dir;
    dir.Put("Defult.ini", kFile);
    IniFile ini(dir / "Defult.ini");
    ini.WriteString("USER", "DEFAULTADRESS", "Home");
    ini.WriteString("FTP", "R3", "1");     // new key in an existing section
    ini.WriteString("Later", "Key", "w");  // last line without line end
    ini.WriteString("New", "A", "b");      // new section
    ini.Save();
    EXPECT_EQ(dir.Get("Defult.ini"),
              "; kept comment\r\n"
              "[user]\r\n"
              "defaultadress =Home\r\n"
              "Other='x'\n"
              "\r\n"
              "[FTP]\r\n"
              "r1=0x10\r\n"
              "R2 = 'half\r\n"
              "R3=1\r\n"
              "[Later]\r\n"
              "Key=w\r\n"
              "[New]\r\n"
              "A=b\r\n");
    EXPECT_EQ(IniFile(dir / "Defult.ini").ReadString("user", "defaultadress"), "Home");
}

TEST(IniFile, MissingFileStartsEmptyAndFailedSaveKeepsTheOldFile) {
    fernlay_test::TempDir dir;
    IniFile fresh(dir / "Defult.ini");
    fresh.WriteString("USER", "DefaultAdress", "");
    fresh.WriteString("FTP", "R1", "1");
    fresh.Save();
    EXPECT_EQ(dir.Get("Defult.ini"), "[USER]\r\nDefaultAdress=\r\n[FTP]\r\nR1=1\r\n");

    fresh.WriteString("FTP", "R1", "0");
    platform::faults::FailNthRename(1);
    EXPECT_THROW(fresh.Save(), platform::FileError);
    EXPECT_EQ(dir.Get("Defult.ini"), "[USER]\r\nDefaultAdress=\r\n[FTP]\r\nR1=1\r\n");
    EXPECT_EQ(dir.Count(), 1u);
}

// Whatever a hand-edited file holds, a written key reads back and a second write of the
// same key changes only its value.
TEST(IniFile, WrittenValueReadsBackFromAnyText) {
    fernlay_test::TempDir dir;
    std::mt19937 rng(11);
    const std::string pieces[] = {"[FTP]", "[ftp ]", "[USER]", "[",  "]",  "R1", "r1", "=",
                                  "1",     " ",      "\r\n",   "\n", "\r", ";",  "\"", "\x95\x5C"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int n = rng() % 20; n > 0; --n) text += pieces[rng() % std::size(pieces)];
        const std::string name = "t" + std::to_string(round) + ".ini";
        dir.Put(name, text);
        IniFile ini(dir / name);
        ini.WriteString("FTP", "R1", "first");
        ASSERT_EQ(ini.ReadString("FTP", "R1"), "first") << testing::PrintToString(text);
        const std::string once = ini.Text();
        ini.WriteString("ftp", "r1", "second");
        ASSERT_EQ(ini.ReadString("FTP", "R1"), "second") << testing::PrintToString(text);
        const std::size_t at = once.find("first");
        std::string expected = once;
        expected.replace(at, 5, "second");
        ASSERT_EQ(ini.Text(), expected) << testing::PrintToString(text);
    }
}

// Line ends of a bare CR, as an old editor may leave them: the keys read, and a new key
// goes in after its section's last line without a blank line between.
TEST(IniFile, BareCrEndsLinesAndLineBreaksInValuesAreRefused) {
    fernlay_test::TempDir dir;
    dir.Put("Defult.ini", "[USER]\rDefaultAdress=Office\r[FTP]\rR1=0\r");
    IniFile ini(dir / "Defult.ini");
    EXPECT_EQ(ini.ReadString("USER", "DefaultAdress"), "Office");
    EXPECT_EQ(ini.ReadString("FTP", "R1"), "0");
    ini.WriteString("FTP", "R1", "1");
    ini.WriteString("FTP", "R3", "1");
    ini.WriteString("USER", "DefaultAdress", "Home");
    EXPECT_EQ(ini.Text(), "[USER]\rDefaultAdress=Home\r[FTP]\rR1=1\rR3=1\r\n");

    const std::string before = ini.Text();
    for (const std::string& bad : {std::string("a\r\nR4=1"), std::string("a\nb"),
                                   std::string("a\rb"), std::string("a\0b", 3)}) {
        EXPECT_THROW(ini.WriteString("USER", "DefaultAdress", bad), platform::Error);
        EXPECT_THROW(ini.WriteString("USER", bad, "v"), platform::Error);
        EXPECT_THROW(ini.WriteString(bad, "k", "v"), platform::Error);
    }
    EXPECT_EQ(ini.Text(), before);
}

#include "settings/address_book.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../platform/temp_dir.h"
#include "platform/error.h"
#include "platform/texts.h"

using settings::AddressBook;
using settings::TAddressEntry;
using Lines = std::vector<std::string>;

TEST(AddressLine, NameEndsAtTheFirstComma) {
    EXPECT_EQ(settings::ParseAddressLine("Sato,sato@example.jp"),
              (TAddressEntry{"Sato", "sato@example.jp"}));
    EXPECT_EQ(settings::ParseAddressLine("Sato,a,b@example.jp"),
              (TAddressEntry{"Sato", "a,b@example.jp"}));
    EXPECT_EQ(settings::ParseAddressLine("no comma"), (TAddressEntry{"no comma", ""}));
    EXPECT_EQ(settings::RecipientLabel({"Sato", "a,b@x"}), "Sato [a,b@x]");
    EXPECT_TRUE(settings::NameHasComma({"Sato, Jiro", "x"}));
    EXPECT_FALSE(settings::NameHasComma({"Sato", "a,b"}));
}

TEST(AddressBook, MissingFileIsCreatedAndEntriesKeepTheirOrderUntilRestart) {
    fernlay_test::TempDir dir;
    AddressBook book(dir.path());
    book.Load();
    EXPECT_EQ(dir.Get("Adress.dat"), "");
    EXPECT_EQ(book.SelectorItems(), Lines{platform::texts().NotRegistered});
    book.Add({"b", "b@x"});
    book.Add({"a", "a@x"});
    book.Add({"A", "A@X"});  // unsorted: kept
    EXPECT_EQ(book.SelectorItems(), (Lines{"b [b@x]", "a [a@x]", "A [A@X]"}));
    book.Save();
    EXPECT_EQ(dir.Get("Adress.dat"), "b,b@x\r\na,a@x\r\nA,A@X\r\n");

    AddressBook again(dir.path());
    again.Load();
    EXPECT_EQ(again.Lines().lines(), (Lines{"a,a@x", "b,b@x"}));
}

TEST(AddressBook, SortedBookDropsEqualEntriesAndModifyCanLoseOne) {
    fernlay_test::TempDir dir;
    dir.Put("adress.DAT", "Suzuki,s@x\nito,i@x\r\nIto,I@X\r\n");
    AddressBook book(dir.path());
    book.Load();
    EXPECT_EQ(book.Lines().lines(), (Lines{"ito,i@x", "Suzuki,s@x"}));
    EXPECT_EQ(book.Add({"SUZUKI", "S@X"}), platform::SortedLineList::npos);
    EXPECT_EQ(book.size(), 2u);
    EXPECT_EQ(book.Modify(1, {"Kato", "k@x"}), 1u);
    EXPECT_EQ(book.Entry(1), (TAddressEntry{"Kato", "k@x"}));
    // Modifying Kato into Ito's entry (ignoring case) removes Kato and adds nothing.
    EXPECT_EQ(book.Modify(1, {"ITO", "I@x"}), platform::SortedLineList::npos);
    EXPECT_EQ(book.Lines().lines(), Lines{"ito,i@x"});
    book.Delete(0);
    EXPECT_TRUE(book.empty());
    EXPECT_EQ(book.SelectorItems(), Lines{platform::texts().NotRegistered});
    ASSERT_EQ(book.GridRows().size(), 1u);
    EXPECT_EQ(book.GridRows()[0].Name, "");
    book.Delete(0);  // nothing to delete
    book.Save();
    EXPECT_EQ(dir.Get("adress.DAT"), "");
}

// A line break in a name or address would make two entries of one on the next start.
TEST(AddressBook, LineBreaksOrNulAreRefusedAndNothingChanges) {
    fernlay_test::TempDir dir;
    dir.Put("Adress.dat", "Ito,i@x\r\n");
    AddressBook book(dir.path());
    book.Load();
    const std::string breaks[] = {"\r", "\n", "\r\n", std::string(1, '\0')};
    for (const std::string& bad : breaks) {
        const TAddressEntry entries[] = {{"Bob" + bad + "Eve", "b@x"},
                                         {"Bob", "b@x" + bad + "e@x"}};
        for (const TAddressEntry& e : entries) {
            EXPECT_THROW(book.Add(e), platform::Error)
                << testing::PrintToString(e.Name + e.Address);
            EXPECT_THROW(book.Modify(0, e), platform::Error);
            ASSERT_EQ(book.Lines().lines(), Lines{"Ito,i@x"});
        }
    }
    book.Save();
    EXPECT_EQ(dir.Get("Adress.dat"), "Ito,i@x\r\n");
}

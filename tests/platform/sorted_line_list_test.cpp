#include "platform/sorted_line_list.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using platform::SortedLineList;
using Lines = std::vector<std::string>;

TEST(SortedLineList, SortsIgnoringCaseAndDropsEqualLines) {
    SortedLineList list;
    EXPECT_EQ(list.Add("beta,x"), 0u);
    EXPECT_EQ(list.Add("Alpha,y"), 0u);
    EXPECT_EQ(list.Add("gamma"), 2u);
    EXPECT_EQ(list.Add("ALPHA,Y"), SortedLineList::npos);
    EXPECT_EQ(list.Add("alpha,y "), 1u);  // differs by a blank: kept
    EXPECT_EQ(list.lines(), (Lines{"Alpha,y", "alpha,y ", "beta,x", "gamma"}));
}

TEST(SortedLineList, TrailBytesAreNotFolded) {
    // ア (83 41) and ヂ (83 61) differ only by a trail byte that looks like A/a.
    SortedLineList list;
    EXPECT_NE(list.Add("\x83\x41"), SortedLineList::npos);
    EXPECT_NE(list.Add("\x83\x61"), SortedLineList::npos);
    EXPECT_EQ(list.size(), 2u);
}

TEST(SortedLineList, UnsortedKeepsInsertionOrderAndDuplicates) {
    SortedLineList list(false);
    list.Add("b");
    list.Add("A");
    EXPECT_EQ(list.Add("a"), 2u);
    EXPECT_EQ(list.lines(), (Lines{"b", "A", "a"}));
    list.Delete(0);
    list.Delete(7);  // out of range: nothing
    EXPECT_EQ(list.lines(), (Lines{"A", "a"}));
    list.SetSorted(true);
    EXPECT_EQ(list.lines(), (Lines{"A"}));
    EXPECT_TRUE(list.Sorted());
}

// Loading a file sorts once; the result must be what adding line by line gives.
TEST(SortedLineList, LoadEqualsAddingEachLine) {
    std::mt19937 rng(3);
    std::vector<std::string> lines;
    for (int i = 0; i < 3000; ++i) {
        std::string s(rng() % 4, ' ');
        for (auto& c : s) c = "aAbB,\x83\x41\x61"[rng() % 8];
        // A third share their first eight bytes but for case, so the sort must look past them.
        if (i % 3 == 0) s = (rng() % 2 ? "Ab\x83\x41\x83\x61zZ" : "aB\x83\x41\x83\x61Zz") + s;
        lines.push_back(s);
    }
    for (bool sorted : {true, false}) {
        SortedLineList added(sorted), loaded(sorted);
        for (const auto& l : lines) added.Add(l);
        loaded.Load(lines);
        EXPECT_EQ(loaded.lines(), added.lines());
    }
}

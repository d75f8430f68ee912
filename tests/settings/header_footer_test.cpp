#include "settings/header_footer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../platform/temp_dir.h"
#include "platform/texts.h"

using settings::TemplateKind;
using Lines = std::vector<std::string>;

TEST(HeaderFooter, MissingFileIsCreatedEmptyAndShowsThePlaceholder) {
    fernlay_test::TempDir dir;
    const auto doc = settings::OpenTemplate(dir.path(), TemplateKind::Header, "Office");
    ASSERT_TRUE(doc.has_value());
    EXPECT_EQ(doc->Path, dir / "Office.hed");
    EXPECT_EQ(doc->Lines, Lines{platform::texts().HeaderPlaceholder});
    EXPECT_EQ(dir.Get("Office.hed"), "");  // what "Cancel" leaves
    settings::SaveTemplate(doc->Path, settings::AreaTextOf(doc->Lines));
    EXPECT_EQ(dir.Get("Office.hed"), platform::texts().HeaderPlaceholder + "\r\n");

    const auto footer = settings::OpenTemplate(dir.path(), TemplateKind::Footer, "Office");
    EXPECT_EQ(footer->Lines, Lines{platform::texts().FooterPlaceholder});
    EXPECT_EQ(settings::TemplateCaption(TemplateKind::Footer), platform::texts().FooterEditCaption);
}

TEST(HeaderFooter, LoadsLinesAndWritesTheAreaTextExactly) {
    fernlay_test::TempDir dir;
    dir.Put("office.fot", "one\ntwo\r\nthree");
    const auto doc = settings::OpenTemplate(dir.path(), TemplateKind::Footer, "Office");
    EXPECT_EQ(doc->Path, dir / "office.fot");
    EXPECT_EQ(doc->Lines, (Lines{"one", "two", "three"}));
    settings::SaveTemplate(doc->Path, settings::AreaTextOf(doc->Lines));
    EXPECT_EQ(dir.Get("office.fot"), "one\r\ntwo\r\nthree\r\n");
    settings::SaveTemplate(doc->Path, "edited\r\nno final break");
    EXPECT_EQ(dir.Get("office.fot"), "edited\r\nno final break");
    EXPECT_EQ(settings::ReadProfileText(dir.path(), TemplateKind::Footer, "OFFICE"),
              (Lines{"edited", "no final break"}));
}

TEST(HeaderFooter, EmptyNameOpensNothingAndANewNameHasItsOwnFile) {
    fernlay_test::TempDir dir;
    EXPECT_FALSE(settings::OpenTemplate(dir.path(), TemplateKind::Header, "").has_value());
    EXPECT_EQ(dir.Count(), 0u);
    dir.Put("Old.fot", "old");
    const auto doc = settings::OpenTemplate(dir.path(), TemplateKind::Footer, "New");
    EXPECT_EQ(doc->Path, dir / "New.fot");
    EXPECT_EQ(dir.Get("Old.fot"), "old");
    EXPECT_TRUE(settings::ReadProfileText(dir.path(), TemplateKind::Header, "None").empty());
}

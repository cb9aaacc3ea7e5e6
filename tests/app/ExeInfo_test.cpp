#include "app/ExeInfo.h"

#include <gtest/gtest.h>

namespace {

const TVersionResource FrenchAndEnglish{
    {{0x040C, 0x04E4}, {0x0409, 0x04B0}},
    {{"040C04E4", {{"FileVersion", "1.0"}, {"Comments", "Gratuit"}}},
     {"040904B0", {{"FileVersion", "9.9"}, {"Comments", "Free"}, {"LegalCopyright", "(c) en"}}}}};

TEST(ExeInfo, ProgramsOwnResourceGivesItsVersionAndComment) {
  const TExeInfo info(ExeVersionResource());
  EXPECT_EQ(info.FileVersion(), STEREOLUX_VERSION);
  EXPECT_EQ(info.Comments(), "Freeware");
  EXPECT_FALSE(info.LegalCopyright().empty());
  EXPECT_EQ(TExeInfo::TranslationKey(ExeVersionResource()->Translations.at(0)), "040C04E4");
}

TEST(ExeInfo, WithoutResourceEveryTextIsThePlaceholder) {
  const TExeInfo info(nullptr);
  EXPECT_EQ(info.FileVersion(), "Updated at run-time");
  EXPECT_EQ(info.LegalCopyright(), "Updated at run-time");
  EXPECT_EQ(info.Comments(), "Updated at run-time");
}

TEST(ExeInfo, OnlyTheFirstTranslationIsConsulted) {
  const TExeInfo info(&FrenchAndEnglish);
  EXPECT_EQ(info.FileVersion(), "1.0");
  EXPECT_EQ(info.Comments(), "Gratuit");
  // Present under the second translation only: absent for the reader.
  EXPECT_EQ(info.LegalCopyright(), "");
}

TEST(ExeInfo, MissingStringsAndTablesGiveEmptyTexts) {
  struct Case {
    const char* name;
    TVersionResource resource;
  };
  const Case cases[] = {
      {"no translation table", {{}, {{"040C04E4", {{"Comments", "Freeware"}}}}}},
      {"no table under the key", {{{0x040C, 0x04E4}}, {{"040904B0", {{"Comments", "Freeware"}}}}}},
      {"empty table", {{{0x040C, 0x04E4}}, {{"040C04E4", {}}}}},
      {"name absent", {{{0x040C, 0x04E4}}, {{"040C04E4", {{"FileVersion", "2.2.0.0"}}}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TExeInfo(&c.resource).Comments(), "");
  }
}

TEST(ExeInfo, TranslationKeyIsEightUpperCaseHexDigits) {
  struct Case {
    TVersionTranslation translation;
    const char* key;
  };
  const Case cases[] = {
      {{0x040C, 0x04E4}, "040C04E4"}, {{0x0409, 0x04B0}, "040904B0"},
      {{0x0000, 0x0000}, "00000000"}, {{0x0C0A, 0x0001}, "0C0A0001"},
      {{0xFFFF, 0xABCD}, "FFFFABCD"},
  };
  for (const Case& c : cases) EXPECT_EQ(TExeInfo::TranslationKey(c.translation), c.key);
}

TEST(ExeInfo, ReadsOnceWhenCreated) {
  TVersionResource resource{{{0x040C, 0x04E4}}, {{"040C04E4", {{"Comments", "avant"}}}}};
  const TExeInfo info(&resource);
  resource.StringTables["040C04E4"]["Comments"] = "après";
  EXPECT_EQ(info.Comments(), "avant");
}

}  // namespace

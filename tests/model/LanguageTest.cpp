#include <gtest/gtest.h>

#include "model/LanguageList.h"
#include "model/LocString.h"
#include "model/ProductIdentification.h"
#include "support/Sandbox.h"

namespace VantisClient {
namespace {

std::vector<std::string> names(const LanguageList& list) {
    std::vector<std::string> result;
    for (const LanguageInfo& language : list) result.push_back(language.asString());
    return result;
}

LanguageList listOf(const std::vector<std::string>& languages) {
    LanguageList list;
    for (const std::string& language : languages) list.add_unique(LanguageInfo(language));
    return list;
}

TEST(LanguageListTest, AddUniqueKeepsFirstOccurrenceInOrder) {
    EXPECT_EQ((std::vector<std::string>{"en", "de", "EN"}), names(listOf({"en", "de", "en", "EN"})));
}

TEST(LanguageListTest, AvailableLanguagesDropTheExactNeutralEntry) {
    const struct {
        std::vector<std::string> given;
        std::vector<std::string> expected;
    } cases[] = {
        {{"Neutral", "en"}, {"en"}},
        {{"en", "Neutral", "de"}, {"en", "de"}},
        {{"neutral", "en"}, {"neutral", "en"}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        LanguageList list = listOf(c.given);
        LanguageList::CreateAvailableLanguagesList(list);
        EXPECT_EQ(c.expected, names(list));
    }
}

TEST(LanguageInfoTest, ComparesNamesExactly) {
    LanguageInfo language("en");
    EXPECT_TRUE(language == std::string("en"));
    EXPECT_FALSE(language == std::string("EN"));
    language = std::string("de");
    EXPECT_TRUE(language == LanguageInfo("de"));
    EXPECT_EQ("Neutral", LanguageInfo::NeutralLanguageString);
}

// The sandbox puts the process-wide localization code back after each test.
class LocStringTest : public VantisTest::SandboxTest {};

TEST_F(LocStringTest, FirstTextIsTheNeutralFallback) {
    LocString text;
    EXPECT_EQ("<not localized>", text.getText());
    text.addString(3, "Bar");
    text.addString(5, "Baz");
    EXPECT_EQ("Bar", text.getText());
    LocString::SetLocalizationCode(5);
    EXPECT_EQ("Baz", text.getText());
    LocString::SetLocalizationCode(4);
    EXPECT_EQ("Bar", text.getText());
    ASSERT_EQ(3, std::distance(text.begin(), text.end()));
    EXPECT_EQ(0, text.begin()->first);
}

TEST_F(LocStringTest, CurrentCodeWinsOverNeutral) {
    LocString text;
    text.addString(0, "Foo");
    text.addString(3, "Bar");
    EXPECT_EQ("Foo", text.getText());
    LocString::SetLocalizationCode(3);
    EXPECT_EQ("Bar", text.getText());
    EXPECT_EQ(0, LocString::ParseLocalizationCode("en"));
    EXPECT_EQ("Neutral", LocString::LocalizationCodeToString(3));
}

TEST(ProductIdentificationTest, DebugStringNamesEverything) {
    EXPECT_EQ("gid '42' (language 'en' manifestTimestamp '7' revisions '42 43')",
              ProductIdentification("42", 7, {"42", "43"}, "en").getDebugIdentificationString());
    EXPECT_EQ("gid '' (language '' manifestTimestamp '18446744073709551615' revisions ' 43')",
              ProductIdentification("", -1, {"", "43"}, "").getDebugIdentificationString());
}

TEST(RevisionListTest, ContainsComparesExactly) {
    tRevisionList revisions{"42", "43"};
    EXPECT_TRUE(revisions.containsGID("43"));
    EXPECT_FALSE(revisions.containsGID("4"));
    EXPECT_FALSE(revisions.containsGID("042"));
}

}  // namespace
}  // namespace VantisClient

// Titles of catalogue entries are keys stored as data, which xgettext cannot see in the code:
// the English table is where translators' template gets them from, so every key the default
// catalogue shows as a title must be in it.
#include <gtest/gtest.h>

#include "model/default_data.h"
#include "model/menu_manager.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

class DefaultTextsTest : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        setLanguage("en");
    }
    void TearDown() override {
        setLanguage("");
        SandboxTest::TearDown();
    }
};

TEST_F(DefaultTextsTest, EveryDefaultTitleAndIntroductionHasAnEnglishText) {
    ASSERT_TRUE(RCDefaultData::setup());
    SettingsStore& settings = RCMenuManager::sharedInstance().sharedDefaults();
    std::vector<std::string> missing;
    for (std::string_view list : {kMainListKey, kTemplateListKey, kFolderIconListKey}) {
        for (const Value& entry : settings.readArray(list)) {
            const std::string key = dictString(*entry.dict(), "key");
            if (!hasTranslation(key))
                missing.push_back(key);
            if (list == kMainListKey && !hasTranslation(key + " Introduce"))
                missing.push_back(key + " Introduce");
        }
    }
    EXPECT_EQ(missing, std::vector<std::string>{}) << "add these to data/po/en.po";
}

}  // namespace
}  // namespace tf

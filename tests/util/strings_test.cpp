#include "util/strings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <thread>

namespace tf {
namespace {

const char* const kEnglish = R"po(msgid ""
msgstr "Language: en\n"

msgctxt "InfoPlist"
msgid "CFBundleDisplayName"
msgstr "Trackfolio"

msgid "Copy Path"
msgstr "Copy Path"

msgid "Only English"
msgstr "English text"

msgid "Same FileName Tip"
msgstr "\"%@\" already exists."
)po";

const char* const kChinese = R"po(msgctxt "InfoPlist"
msgid "CFBundleDisplayName"
msgstr "右键助手"

msgid "Copy Path"
msgstr "复制路径"

msgid "Same FileName Tip"
msgstr "已存在“%@”。"
)po";

const char* const kTaiwan = R"po(msgid "Copy Path"
msgstr "複製路徑"
)po";

// Every test starts from known tables and the environment's language variables cleared, and
// leaves the embedded tables and the environment as it found them.
class StringsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : kVariables) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        setStringsTablesForTesting(
            {{"en.po", kEnglish}, {"zh.po", kChinese}, {"zh_TW.po", kTaiwan}});
        setLanguage("");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        restoreEmbeddedStringsTables();
        setLanguage("");
    }

  private:
    static constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(StringsTest, EnglishThenTheKeyItself) {
    setLanguage("en_US.UTF-8");
    EXPECT_EQ(localized("Only English"), "English text");
    EXPECT_EQ(localized("Nobody translated this"), "Nobody translated this");
    EXPECT_TRUE(hasTranslation("Only English"));
    EXPECT_FALSE(hasTranslation("Nobody translated this"));
    EXPECT_FALSE(hasTranslation(""));
}

TEST_F(StringsTest, RegionFallsBackToLanguageThenEnglishThenKey) {
    setLanguage("zh_CN.UTF-8");
    EXPECT_EQ(localized("Copy Path"), "复制路径");         // zh_CN -> zh
    EXPECT_EQ(localized("Only English"), "English text");  // zh -> en
    EXPECT_EQ(localized("Unknown key"), "Unknown key");    // en -> key
    setLanguage("zh_TW");
    EXPECT_EQ(localized("Copy Path"), "複製路徑");
    // The regional table is complete on its own: it does not borrow from zh.
    EXPECT_EQ(localized("Same FileName Tip"), "\"%@\" already exists.");
}

TEST_F(StringsTest, CAndUnknownLanguagesMeanEnglish) {
    for (const char* language : {"C", "POSIX", "fr_FR.UTF-8", "de"}) {
        setLanguage(language);
        EXPECT_EQ(localized("Copy Path"), "Copy Path") << language;
        EXPECT_EQ(displayName(), "Trackfolio") << language;
    }
}

TEST_F(StringsTest, LanguageComesFromTheEnvironmentInPriorityOrder) {
    ::setenv("LANG", "zh_CN.UTF-8", 1);
    setLanguage("");
    EXPECT_EQ(localized("Copy Path"), "复制路径");

    ::setenv("LC_MESSAGES", "C", 1);
    setLanguage("");
    EXPECT_EQ(localized("Copy Path"), "Copy Path");

    ::setenv("LC_ALL", "zh_TW.UTF-8", 1);
    setLanguage("");
    EXPECT_EQ(localized("Copy Path"), "複製路徑");

    ::setenv("LANGUAGE", "zh:en", 1);
    setLanguage("");
    EXPECT_EQ(localized("Copy Path"), "复制路径");

    // An explicit choice wins over the environment.
    setLanguage("en");
    EXPECT_EQ(localized("Copy Path"), "Copy Path");
}

TEST_F(StringsTest, InfoPlistTableIsSeparateFromTheMainTable) {
    setLanguage("zh");
    EXPECT_EQ(displayName(), "右键助手");
    EXPECT_EQ(infoPlistText("CFBundleDisplayName"), "右键助手");
    EXPECT_EQ(localized("CFBundleDisplayName"), "CFBundleDisplayName");
    EXPECT_EQ(infoPlistText("Copy Path"), "Copy Path");
}

TEST_F(StringsTest, EmptyTablesShowEveryKey) {
    setStringsTablesForTesting({});
    setLanguage("zh_CN");
    EXPECT_EQ(localized("Copy Path"), "Copy Path");
    EXPECT_EQ(displayName(), "CFBundleDisplayName");
    EXPECT_EQ(localizedFormat("Same FileName Tip", {"a.txt"}), "Same FileName Tip");
}

TEST_F(StringsTest, LocalizedFormatFillsTheTranslatedText) {
    setLanguage("zh");
    EXPECT_EQ(localizedFormat("Same FileName Tip", {"a.txt"}), "已存在“a.txt”。");
    setLanguage("en");
    EXPECT_EQ(localizedFormat("Same FileName Tip", {"a.txt"}), "\"a.txt\" already exists.");
}

TEST_F(StringsTest, LookupsRaceSafelyWithLanguageChanges) {
    std::atomic<bool> stop = false;
    std::vector<std::thread> readers;
    std::atomic<int> unexpected = 0;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            while (!stop) {
                std::string text = localized("Copy Path");
                if (text != "复制路径" && text != "Copy Path")
                    ++unexpected;
            }
        });
    }
    for (int i = 0; i < 300; ++i)
        setLanguage(i % 2 == 0 ? "zh_CN" : "en");
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(unexpected, 0);
}

TEST_F(StringsTest, EmbeddedEnglishTableIsReadable) {
    restoreEmbeddedStringsTables();
    setLanguage("en");
    EXPECT_EQ(displayName(), "Trackfolio");
    EXPECT_TRUE(hasTranslation("Just now"));
}

TEST(FormatText, FillsPlaceholdersInOrder) {
    EXPECT_EQ(formatText("%@ and %@", {"a", "b"}), "a and b");
    EXPECT_EQ(formatText("%d files, %ld bytes, %lu, %i, %s", {"3", "40", "5", "6", "x"}),
              "3 files, 40 bytes, 5, 6, x");
    EXPECT_EQ(formatText("mkdir %@/%@", {"/a b", "c;d"}), "mkdir /a b/c;d");
    EXPECT_EQ(formatText("no placeholders", {"unused"}), "no placeholders");
}

TEST(FormatText, PercentSignsAndUnknownConversions) {
    EXPECT_EQ(formatText("100%% done", {}), "100% done");
    EXPECT_EQ(formatText("%%@ is literal", {"x"}), "%@ is literal");
    EXPECT_EQ(formatText("%x %4.2f %@", {"a"}), "%x %4.2f a");
    EXPECT_EQ(formatText("ends with %", {}), "ends with %");
}

TEST(FormatText, PositionsLetTranslationsReorder) {
    EXPECT_EQ(formatText("%2$@ then %1$@", {"first", "second"}), "second then first");
    EXPECT_EQ(formatText("%1$d/%1$d", {"7"}), "7/7");
    EXPECT_EQ(formatText("%3$@|", {"a"}), "|");
    EXPECT_EQ(formatText("%0$@", {"a"}), "%0$@");
}

TEST(FormatText, MissingArgumentsLeaveThePlaceholderEmpty) {
    EXPECT_EQ(formatText("%@ and %@", {"a"}), "a and ");
    EXPECT_EQ(formatText("[%d]", {}), "[]");
}

}  // namespace
}  // namespace tf

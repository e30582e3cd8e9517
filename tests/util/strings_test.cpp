#include "util/strings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
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

// The tables above in the program, plus fr.po and de.po in a folder (tests/assets/po).
class StringsListTest : public StringsTest {
  protected:
    void SetUp() override {
        StringsTest::SetUp();
        setStringsTablesForTesting(
            {{"en.po", kEnglish},
             {"zh.po", kChinese},
             {"zh_TW.po", kTaiwan},
             {"pl.po", kPolish},
             {"ru.po", kRussianMissingAForm},
             {"de@formal.po", "msgid \"Copy Path\"\nmsgstr \"Pfad (Sie)\"\n"}},
            std::filesystem::path(TRACKFOLIO_TEST_ASSETS) / "po");
    }

    static constexpr const char* kPolish = R"po(msgid ""
msgstr "Plural-Forms: nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);\n"

msgid "%d file"
msgid_plural "%d files"
msgstr[0] "%d plik"
msgstr[1] "%d pliki"
msgstr[2] "%d plików"
)po";
    // Its rule has three forms, its entry two.
    static constexpr const char* kRussianMissingAForm = R"po(msgid ""
msgstr "Plural-Forms: nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);\n"

msgid "%d file"
msgid_plural "%d files"
msgstr[0] "%d файл"
msgstr[1] "%d файла"
)po";
};

TEST_F(StringsListTest, EveryLanguageOfTheListInOrderThenEnglishThenTheKey) {
    struct Case {
        const char* languages;
        const char* copyPath;
        const char* onlyGerman;
        const char* sameName;
    };
    const Case cases[] = {
        {"fr:de", "Copier le chemin", "Nur Deutsch", "\"%@\" already exists."},
        {"de_AT.UTF-8:fr", "Pfad kopieren", "Nur Deutsch", "\"%@\" already exists."},
        {"xx:it_IT:fr", "Copier le chemin", "Only German", "\"%@\" already exists."},
        {"zh_TW:zh", "複製路徑", "Only German", "已存在“%@”。"},
        {"zh-TW:de", "複製路徑", "Nur Deutsch", "\"%@\" already exists."},
        {"de_CH@formal:fr", "Pfad (Sie)", "Only German", "\"%@\" already exists."},
        {"de@formal:de", "Pfad (Sie)", "Nur Deutsch", "\"%@\" already exists."},
        // English, or C, ends the list: what it lacks is shown as the key.
        {"fr:en:de", "Copier le chemin", "Only German", "\"%@\" already exists."},
        {"fr:C:de", "Copier le chemin", "Only German", "\"%@\" already exists."},
        {"en_GB:zh", "Copy Path", "Only German", "\"%@\" already exists."},
        // A name that is no language (a path, say) chooses no table.
        {"../po/de:/tmp/de:fr", "Copier le chemin", "Only German", "\"%@\" already exists."},
        {"::de::", "Pfad kopieren", "Nur Deutsch", "\"%@\" already exists."},
    };
    for (const Case& c : cases) {
        setLanguage(c.languages);
        EXPECT_EQ(localized("Copy Path"), c.copyPath) << c.languages;
        EXPECT_EQ(localized("Only German"), c.onlyGerman) << c.languages;
        EXPECT_EQ(localized("Same FileName Tip"), c.sameName) << c.languages;
        EXPECT_EQ(hasTranslation("Only German"), std::string(c.onlyGerman) == "Nur Deutsch")
            << c.languages;
    }

    // The environment's LANGUAGE list wins over the locale variables.
    ::setenv("LANG", "zh_CN.UTF-8", 1);
    ::setenv("LANGUAGE", "xx:fr:de", 1);
    setLanguage("");
    EXPECT_EQ(localized("Copy Path"), "Copier le chemin");
    EXPECT_EQ(localized("Only German"), "Nur Deutsch");
}

TEST_F(StringsListTest, PluralFormsFollowEachTablesRule) {
    struct Case {
        const char* languages;
        std::int64_t count;
        const char* text;
    };
    const Case cases[] = {
        {"fr", 0, "%d fichier"},  // French counts zero as one
        {"fr", 1, "%d fichier"},
        {"fr", 2, "%d fichiers"},
        {"en", 0, "%d files"},  // no table has it: English's rule on the keys
        {"en", 1, "%d file"},
        {"en", -1, "%d file"},
        {"en", 21, "%d files"},
        {"pl", 1, "%d plik"},
        {"pl", 22, "%d pliki"},
        {"pl", 25, "%d plików"},
        {"pl", 112, "%d plików"},
        {"de:fr", 0, "%d fichier"},  // German has no such entry: the next table's
        {"ru", 21, "%d файл"},
        {"ru", 3, "%d файла"},
        {"ru:fr", 5, "%d fichiers"},  // the form Russian lacks comes from the next table
        {"ru", 5, "%d files"},
    };
    for (const Case& c : cases) {
        setLanguage(c.languages);
        EXPECT_EQ(localizedPlural("%d file", "%d files", c.count), c.text)
            << c.languages << " " << c.count;
    }
    setLanguage("de");
    EXPECT_EQ(formatText(localizedPlural("%d folder", "%d folders", 3), {"3"}),
              "3 Ordner (mehrere)");
    // A plural entry answers a singular lookup with its first form.
    EXPECT_EQ(localized("%d folder"), "%d Ordner");
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

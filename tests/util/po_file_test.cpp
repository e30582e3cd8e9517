#include "util/po_file.h"

#include <gtest/gtest.h>

namespace tf {
namespace {

std::string textOf(const PoCatalog& catalog, const std::string& key,
                   const std::string& context = {}) {
    auto it = catalog.find(std::pair(context, key));
    return it == catalog.end() ? "<missing>" : it->second;
}

TEST(ParsePo, ReadsEntriesAndSkipsHeaderCommentsAndUntranslated) {
    PoCatalog catalog = parsePo(R"po(# Translator comment
msgid ""
msgstr ""
"Language: zh\n"
"Content-Type: text/plain; charset=UTF-8\n"

#. extracted comment
#: source.cpp:12
msgid "Copy Path"
msgstr "复制路径"

msgid "Untranslated"
msgstr ""

#, fuzzy
msgid "Fuzzy"
msgstr "Still used"

#~ msgid "Obsolete"
#~ msgstr "Gone"
)po");
    EXPECT_EQ(catalog.size(), 2u);
    EXPECT_EQ(textOf(catalog, "Copy Path"), "复制路径");
    EXPECT_EQ(textOf(catalog, "Fuzzy"), "Still used");
    EXPECT_EQ(textOf(catalog, ""), "<missing>");
    EXPECT_EQ(textOf(catalog, "Untranslated"), "<missing>");
    EXPECT_EQ(textOf(catalog, "Obsolete"), "<missing>");
}

TEST(ParsePo, JoinsContinuationLinesOfEveryField) {
    PoCatalog catalog = parsePo(
        "msgctxt \"Info\"\n\"Plist\"\n"
        "msgid \"\"\n\"Long \"\n  \"key\"\n"
        "msgstr \"first, \"\n"
        "\"second\"\n");
    EXPECT_EQ(textOf(catalog, "Long key", "InfoPlist"), "first, second");
}

TEST(ParsePo, DecodesEscapes) {
    PoCatalog catalog = parsePo(R"po(msgid "Escapes"
msgstr "line\nnext\ttab \"quoted\" back\\slash \101\x42 \q"
)po");
    EXPECT_EQ(textOf(catalog, "Escapes"), "line\nnext\ttab \"quoted\" back\\slash AB q");
}

TEST(ParsePo, KeepsContextsApart) {
    PoCatalog catalog = parsePo(R"po(msgctxt "InfoPlist"
msgid "CFBundleDisplayName"
msgstr "Trackfolio"

msgid "CFBundleDisplayName"
msgstr "Plain"

msgctxt "Other"
msgid "Key"
msgstr "With context"
msgid "Key"
msgstr "Without"
)po");
    EXPECT_EQ(textOf(catalog, "CFBundleDisplayName", "InfoPlist"), "Trackfolio");
    EXPECT_EQ(textOf(catalog, "CFBundleDisplayName"), "Plain");
    EXPECT_EQ(textOf(catalog, "Key", "Other"), "With context");
    EXPECT_EQ(textOf(catalog, "Key"), "Without");
}

TEST(ParsePo, PluralEntriesKeepTheFirstForm) {
    PoCatalog catalog = parsePo(R"po(msgid "%d file"
msgid_plural "%d files"
msgstr[0] "%d Datei"
msgstr[1] "%d Dateien"

msgid "Untranslated plural"
msgid_plural "plurals"
msgstr[0] ""
msgstr[1] "only second"
)po");
    EXPECT_EQ(textOf(catalog, "%d file"), "%d Datei");
    EXPECT_EQ(textOf(catalog, "%d files"), "<missing>");
    EXPECT_EQ(textOf(catalog, "Untranslated plural"), "<missing>");
}

TEST(ParsePo, ToleratesWindowsLineEndingsBomAndDamage) {
    PoCatalog catalog = parsePo(
        "\xEF\xBB\xBFmsgid \"A\"\r\nmsgstr \"a\"\r\n\r\n"
        "msgid without quotes\n"
        "msgid \"B\"\nmsgstr \"unterminated\n"
        "msgid \"C\"\nmsgstr \"c\"");
    EXPECT_EQ(textOf(catalog, "A"), "a");
    EXPECT_EQ(textOf(catalog, "B"), "unterminated");
    EXPECT_EQ(textOf(catalog, "C"), "c");
    EXPECT_TRUE(parsePo("").empty());
}

}  // namespace
}  // namespace tf

#include "util/po_file.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace tf {
namespace {

std::string textOf(const PoCatalog& catalog, const std::string& key,
                   const std::string& context = {}) {
    auto it = catalog.texts.find(std::pair(context, key));
    return it == catalog.texts.end() ? "<missing>" : it->second;
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
    EXPECT_EQ(catalog.texts.size(), 2u);
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

TEST(ParsePo, KeepsEveryPluralFormAndTheHeadersRule) {
    PoCatalog catalog = parsePo(R"po(msgid ""
msgstr ""
"Language: pl\n"
"Plural-Forms: nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || "
"n%100>=20) ? 1 : 2);\n"

msgctxt "Menu"
msgid "%d file"
msgid_plural "%d files"
msgstr[0] "%d plik"
msgstr[1] "%d pliki"
msgstr[2] "%d "
"plików"

msgid "Gap"
msgid_plural "Gaps"
msgstr[0] "a"
msgstr[2] "c"

msgid "Singular"
msgstr "only"
)po");
    using Forms = std::vector<std::string>;
    EXPECT_EQ(catalog.plurals,
              (std::map<PoCatalog::Key, Forms, std::less<>>{
                  {{"Menu", "%d file"}, Forms{"%d plik", "%d pliki", "%d plików"}}}));
    EXPECT_EQ(textOf(catalog, "%d file", "Menu"), "%d plik");
    EXPECT_EQ(textOf(catalog, "Gap"), "<missing>");  // a form left out means untranslated
    EXPECT_EQ(catalog.pluralRule.count(), 3u);
    EXPECT_EQ(catalog.pluralRule.formFor(22), 1u);

    // Without a Plural-Forms line, or with one that does not parse, English's rule applies.
    for (const char* header : {"", "Plural-Forms: nplurals=2; plural=n >;\\n"}) {
        PoCatalog plain = parsePo(std::string("msgid \"\"\nmsgstr \"") + header + "\"\n");
        EXPECT_EQ(plain.pluralRule.count(), 2u) << header;
        EXPECT_EQ(plain.pluralRule.formFor(1), 0u) << header;
        EXPECT_EQ(plain.pluralRule.formFor(0), 1u) << header;
    }
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
    EXPECT_TRUE(parsePo("").texts.empty());
}

}  // namespace
}  // namespace tf

#include "util/text.h"

#include <gtest/gtest.h>

#include <set>

namespace tf {
namespace {

TEST(IsValid, RejectsAbsentBlankAndNullText) {
    EXPECT_FALSE(isValid(""));
    EXPECT_FALSE(isValid(" \n\t\r "));
    EXPECT_FALSE(isValid("\xC2\xA0\xE3\x80\x80"));  // no-break and ideographic spaces
    EXPECT_FALSE(isValid("(null)"));
}

TEST(IsValid, AcceptsTextWithContent) {
    EXPECT_TRUE(isValid("x"));
    EXPECT_TRUE(isValid(" x "));
    EXPECT_TRUE(isValid("\nname\n"));
    EXPECT_TRUE(isValid("null"));
    // Only the exact text stands for an unset string.
    EXPECT_TRUE(isValid(" (null) "));
    EXPECT_TRUE(isValid("(NULL)"));
}

TEST(Trim, RemovesWhiteSpaceAndLineBreaksAtBothEndsOnly) {
    EXPECT_EQ(trim("  /a/b c\n"), "/a/b c");
    EXPECT_EQ(trim("\r\n\t"), "");
    EXPECT_EQ(trim("\xC2\xA0word\xE2\x80\xA8"), "word");
    EXPECT_EQ(trim("a \n b"), "a \n b");
    // A lone byte of a space sequence (a Latin-1 name, say) is content, not a space.
    EXPECT_EQ(trim("caf\xA0"), "caf\xA0");
}

// 8-4-4-4-12 upper-case hex digits, version 4, RFC 4122 variant.
bool isCanonicalVersion4(const std::string& id) {
    if (id.size() != 36)
        return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        bool hex = (id[i] >= '0' && id[i] <= '9') || (id[i] >= 'A' && id[i] <= 'F');
        if (hyphen ? id[i] != '-' : !hex)
            return false;
    }
    return id[14] == '4' && std::string_view("89AB").find(id[19]) != std::string_view::npos;
}

TEST(Uuid, IsCanonicalUpperCaseVersion4) {
    for (int i = 0; i < 200; ++i) {
        std::string id = uuid();
        ASSERT_TRUE(isCanonicalVersion4(id)) << id;
    }
}

TEST(Uuid, IsFreshEachTime) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i)
        seen.insert(uuid());
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(CompareVersion, OrdersComponentsNumerically) {
    EXPECT_EQ(compareVersion("2.5.6", "2.6"), -1);
    EXPECT_EQ(compareVersion("2.6.2", "2.6.2"), 0);
    EXPECT_EQ(compareVersion("3", "2.9.9"), 1);
    EXPECT_EQ(compareVersion("2.10.0", "2.9.9"), 1);
    EXPECT_EQ(compareVersion("2.9.9", "2.10.0"), -1);
}

TEST(CompareVersion, MissingComponentsCountAsZero) {
    EXPECT_EQ(compareVersion("2.6", "2.6.0"), 0);
    EXPECT_EQ(compareVersion("2.6.0.0", "2.6"), 0);
    EXPECT_EQ(compareVersion("2.6", "2.6.1"), -1);
    EXPECT_EQ(compareVersion("", "0"), 0);
    EXPECT_EQ(compareVersion("", "0.0.1"), -1);
}

TEST(CompareVersion, NonNumericComponentsUseTheirLeadingInteger) {
    EXPECT_EQ(compareVersion("2.6beta", "2.6"), 0);
    EXPECT_EQ(compareVersion("2.7rc1", "2.6.9"), 1);
    EXPECT_EQ(compareVersion("2.x", "2.0"), 0);
    EXPECT_EQ(compareVersion("2.-1", "2"), -1);
    EXPECT_EQ(compareVersion("2. 5", "2.5"), 0);
    EXPECT_EQ(compareVersion("1.99999999999999999999999", "1.5"), 1);
}

TEST(Split, KeepsEmptyPartsAndJoinRestoresTheText) {
    EXPECT_EQ(split("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(split("", ','), (std::vector<std::string>{""}));
    EXPECT_EQ(split("abc", ','), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(join(split("png,jpg,,gif", ','), ","), "png,jpg,,gif");
    EXPECT_EQ(join({}, ", "), "");
}

TEST(CaseAndAffixes, TouchOnlyAsciiLetters) {
    EXPECT_EQ(toLower("DocX.PDF \xC3\x89"), "docx.pdf \xC3\x89");
    EXPECT_EQ(toUpper("jpg-1"), "JPG-1");
    EXPECT_TRUE(startsWith("report.docx", "report"));
    EXPECT_FALSE(startsWith("re", "report"));
    EXPECT_TRUE(endsWith("report.docx", ".docx"));
    EXPECT_TRUE(endsWith("x", ""));
    EXPECT_FALSE(endsWith("docx", ".docx"));
}

}  // namespace
}  // namespace tf

namespace tf {
namespace {

TEST(OneLine, EscapesControlCharactersAndCutsLongText) {
    EXPECT_EQ(oneLine("a\nb\tc\r\x01"), "a\\nb\\tc\\r\\x01");
    EXPECT_EQ(oneLine("plain"), "plain");
    const std::string cut = oneLine(std::string(500, 'x'), 10);
    EXPECT_EQ(cut, std::string(10, 'x') + "...");
    EXPECT_EQ(oneLine(std::string(10, 'x'), 10), std::string(10, 'x'));
    // Multi-byte text is kept as it is.
    EXPECT_EQ(oneLine("Größe"), "Größe");
}

}  // namespace
}  // namespace tf

#include "util/size_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace tf {
namespace {

TEST(FileSizeWithValue, MovesToTheNextUnitOnlyAboveAThousand) {
    EXPECT_EQ(fileSizeWithValue(0), "0.00 B");
    EXPECT_EQ(fileSizeWithValue(999), "999.00 B");
    EXPECT_EQ(fileSizeWithValue(1000), "1000.00 B");
    EXPECT_EQ(fileSizeWithValue(1001), "1.00 KB");
    EXPECT_EQ(fileSizeWithValue(1000000), "1000.00 KB");
    EXPECT_EQ(fileSizeWithValue(1500000), "1.50 MB");
    EXPECT_EQ(fileSizeWithValue(12500000), "12.50 MB");
    EXPECT_EQ(fileSizeWithValue(3.2e9), "3.20 GB");
    EXPECT_EQ(fileSizeWithValue(999999999999999), "1000.00 TB");
}

TEST(FileSizeWithValue, StaysInTerabytesBeyondTheLastUnit) {
    EXPECT_EQ(fileSizeWithValue(1.0e12 + 1e10), "1.01 TB");
    EXPECT_EQ(fileSizeWithValue(2e15), "2000.00 TB");
    EXPECT_EQ(fileSizeWithValue(5e18), "5000000.00 TB");
}

TEST(FileSizeWithValue, RoundsToTwoDecimals) {
    EXPECT_EQ(fileSizeWithValue(1234), "1.23 KB");
    EXPECT_EQ(fileSizeWithValue(1235001), "1.24 MB");
    EXPECT_EQ(fileSizeWithValue(0.004), "0.00 B");
}

// The text goes into menus and dialogs that are compared and copied; a German session must
// not turn "1.50 MB" into "1,50 MB".
TEST(FileSizeWithValue, IgnoresTheLocaleDecimalSeparator) {
    std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* commaLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                             "ru_RU.UTF-8", "nl_NL.UTF-8", "es_ES.UTF-8", "it_IT.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            commaLocale = name;
            break;
        }
    }
    if (commaLocale == nullptr)
        GTEST_SKIP() << "no locale with a comma separator installed";
    std::string text = fileSizeWithValue(1500000);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(text, "1.50 MB") << commaLocale;
}

}  // namespace
}  // namespace tf

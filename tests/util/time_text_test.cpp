#include "util/time_text.h"

#include <gtest/gtest.h>

#include "util/strings.h"

namespace tf {
namespace {

using namespace std::chrono_literals;

// With no strings tables every key is its own text, so the expectations below read as the
// keys and the numbers formatted into them.
class TimeAgoTest : public ::testing::Test {
  protected:
    void SetUp() override { setStringsTablesForTesting({}); }
    void TearDown() override { restoreEmbeddedStringsTables(); }

    static std::string ago(double seconds) {
        const SystemTime now = SystemTime(std::chrono::seconds(1'700'000'000));
        auto age = std::chrono::duration_cast<SystemTime::duration>(
            std::chrono::duration<double>(seconds));
        return timeAgo(now - age, now);
    }
};

TEST_F(TimeAgoTest, MinutesAndHours) {
    EXPECT_EQ(ago(0), "Just now");
    EXPECT_EQ(ago(59.9), "Just now");
    EXPECT_EQ(ago(60), "1 minute ago");
    EXPECT_EQ(ago(119), "1 minute ago");
    EXPECT_EQ(ago(120), "2 minutes ago");
    EXPECT_EQ(ago(2699), "44 minutes ago");
    EXPECT_EQ(ago(2700), "1 hour ago");
    EXPECT_EQ(ago(5399), "1 hour ago");
    EXPECT_EQ(ago(5400), "1 hours ago");
    EXPECT_EQ(ago(86399), "23 hours ago");
}

TEST_F(TimeAgoTest, DaysMonthsAndYears) {
    EXPECT_EQ(ago(86400), "Yesterday");
    EXPECT_EQ(ago(172799), "Yesterday");
    EXPECT_EQ(ago(172800), "2 days ago");
    EXPECT_EQ(ago(2591999), "29 days ago");
    EXPECT_EQ(ago(2592000), "A month ago");
    EXPECT_EQ(ago(2 * 2592000 - 1), "A month ago");
    EXPECT_EQ(ago(2 * 2592000), "2 months ago");
    EXPECT_EQ(ago(31103999), "11 months ago");
    EXPECT_EQ(ago(31104000), "One year ago");
    EXPECT_EQ(ago(2 * 31104000 - 1), "One year ago");
    EXPECT_EQ(ago(2 * 31104000), "2 years ago");
    EXPECT_EQ(ago(10.5 * 31104000), "10 years ago");
}

TEST_F(TimeAgoTest, FutureTimestampIsJustNow) {
    EXPECT_EQ(ago(-1), "Just now");
    EXPECT_EQ(ago(-1e9), "Just now");
    const SystemTime now = std::chrono::system_clock::now();
    EXPECT_EQ(timeAgo(SystemTime::max(), now), "Just now");
}

TEST_F(TimeAgoTest, AgesBeyondTheClockRangeDoNotOverflow) {
    std::string text = timeAgo(SystemTime::min(), SystemTime::max());
    EXPECT_TRUE(text.ends_with(" years ago")) << text;
}

TEST_F(TimeAgoTest, NumberGoesIntoTheTranslatedFormat) {
    setStringsTablesForTesting({{"en.po",
                                 "msgid \"%d minutes ago\"\n"
                                 "msgstr \"%d min. ago\"\n"
                                 "msgid \"Yesterday\"\n"
                                 "msgstr \"The day before\"\n"}});
    EXPECT_EQ(ago(600), "10 min. ago");
    EXPECT_EQ(ago(90000), "The day before");
    EXPECT_EQ(ago(7200), "2 hours ago");
}

}  // namespace
}  // namespace tf

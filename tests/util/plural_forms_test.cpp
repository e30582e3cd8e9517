#include "util/plural_forms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tf {
namespace {

constexpr std::uint64_t kCounts[] = {0, 1, 2, 5, 11, 21, 22, 101, 111};

std::vector<std::size_t> formsOf(const PluralRule& rule) {
    std::vector<std::size_t> forms;
    for (std::uint64_t n : kCounts)
        forms.push_back(rule.formFor(n));
    return forms;
}

TEST(PluralRule, RealLanguages) {
    struct Case {
        const char* language;
        const char* pluralForms;
        std::size_t count;
        std::vector<std::size_t> forms;  // for 0, 1, 2, 5, 11, 21, 22, 101, 111
    };
    const Case cases[] = {
        {"English", "nplurals=2; plural=(n != 1);", 2, {1, 0, 1, 1, 1, 1, 1, 1, 1}},
        {"French", "nplurals=2; plural=(n > 1);", 2, {0, 0, 1, 1, 1, 1, 1, 1, 1}},
        {"Polish",
         "nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);",
         3,
         {2, 0, 1, 2, 2, 2, 1, 2, 2}},
        {"Russian",
         "nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || "
         "n%100>=20) ? 1 : 2);",
         3,
         {2, 0, 1, 2, 2, 0, 1, 0, 2}},
        {"Arabic",
         "nplurals=6; plural=(n==0 ? 0 : n==1 ? 1 : n==2 ? 2 : n%100>=3 && n%100<=10 ? 3 : "
         "n%100>=11 ? 4 : 5);",
         6,
         {0, 1, 2, 3, 4, 4, 4, 5, 4}},
        {"Japanese", " nplurals=1;  plural=0;", 1, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Either order, no final semicolon, no spaces.
        {"Swapped", "plural=n!=1;nplurals=2", 2, {1, 0, 1, 1, 1, 1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        std::optional<PluralRule> rule = PluralRule::parse(c.pluralForms);
        ASSERT_TRUE(rule) << c.language;
        EXPECT_EQ(rule->count(), c.count) << c.language;
        EXPECT_EQ(formsOf(*rule), c.forms) << c.language;
    }
    EXPECT_EQ(formsOf(PluralRule()), cases[0].forms);
}

TEST(PluralRule, ArithmeticFollowsC) {
    struct Case {
        const char* expression;
        std::uint64_t n;
        std::size_t form;
    };
    const Case cases[] = {
        {"3-2-1", 0, 0},              // left-associative
        {"1+2*3%4", 0, 3},            // * and % bind tighter than +
        {"!n", 0, 1},                 // "!" before a value, "!=" is not "!"
        {"!!n", 7, 1},                //
        {"n<=2==1", 2, 1},            // relations bind tighter than ==
        {"n ? 2 : 1 ? 3 : 4", 1, 2},  // ?: groups to the right
        {"n-2 > 5", 1, 1},            // unsigned: 1 - 2 wraps to a huge number
        {"n/0", 4, 0},                // division by zero: form 0
        {"n%(n-n)", 4, 0},            //
        {"n==0 || 4/n", 0, 1},        // || and && do not evaluate their right side needlessly
        {"n!=0 && 4/n", 0, 0},        //
        {"n ? 4/n : 3", 0, 3},        // nor does ?: its other branch
        {"n", 9, 0},                  // a form past the last one: form 0
        {"4294967296 * 3 / 4294967296", 0, 3},  // 64-bit arithmetic
    };
    for (const Case& c : cases) {
        std::optional<PluralRule> rule =
            PluralRule::parse(std::string("nplurals=5; plural=") + c.expression + ";");
        ASSERT_TRUE(rule) << c.expression;
        EXPECT_EQ(rule->formFor(c.n), c.form) << c.expression << " with n = " << c.n;
    }
}

TEST(PluralRule, MalformedOrHostileRulesAreRefused) {
    const std::string deepParentheses = std::string(5000, '(') + "n" + std::string(5000, ')');
    const std::string manyNots = std::string(5000, '!') + "n";
    std::string longChain = "n";
    for (int i = 0; i < 300; ++i)
        longChain += "+n";  // shallow to parse, but a 300-deep tree to evaluate
    const std::string refused[] = {
        "",
        "nplurals=2;",
        "plural=(n != 1);",
        "nplurals=0; plural=0;",
        "nplurals=33; plural=0;",
        "nplurals=two; plural=0;",
        "nplurals=2; plural=;",
        "nplurals=2; plural=(n != 1;",
        "nplurals=2; plural=n != 1);",
        "nplurals=2; plural=n +;",
        "nplurals=2; plural=n ? 1;",
        "nplurals=2; plural=n = 1;",
        "nplurals=2; plural=-1;",
        "nplurals=2; plural=x;",
        "nplurals=2; plural=99999999999999999999;",
        "nplurals=2; plural=" + deepParentheses + ";",
        "nplurals=2; plural=" + manyNots + ";",
        "nplurals=2; plural=" + longChain + ";",
    };
    for (const std::string& pluralForms : refused)
        EXPECT_FALSE(PluralRule::parse(pluralForms)) << pluralForms.substr(0, 60);
}

}  // namespace
}  // namespace tf

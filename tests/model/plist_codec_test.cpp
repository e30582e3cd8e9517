#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/plist_codec.h"

namespace tf {
namespace {

std::string xmlDocument(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
           "\n</plist>\n";
}

// A binary property list of raw objects (object 0 is the top), with one-byte references and
// offsets; `declaredCount` overrides the object count in the trailer.
std::string binaryPlist(const std::vector<std::string>& objects, std::uint64_t declaredCount = 0) {
    std::string out = "bplist00";
    std::string table;
    for (const std::string& object : objects) {
        table += static_cast<char>(out.size());
        out += object;
    }
    const std::size_t tableOffset = out.size();
    out += table;
    std::string trailer(6, '\0');
    trailer += '\x01';  // offset size
    trailer += '\x01';  // reference size
    auto be64 = [&](std::uint64_t v) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            trailer += static_cast<char>((v >> shift) & 0xFF);
        }
    };
    be64(declaredCount != 0 ? declaredCount : objects.size());
    be64(0);
    be64(tableOffset);
    return out + trailer;
}

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out += static_cast<char>(v);
    }
    return out;
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// Each level an array holding the next level twice: 2^22 values from a few hundred bytes.
std::string doublingBinary(int levels) {
    std::vector<std::string> objects;
    for (int i = 0; i < levels; ++i) {
        objects.push_back(bytes({0xA2, i + 1, i + 1}));
    }
    objects.push_back(bytes({0x09}));
    return binaryPlist(objects);
}

TEST(PlistCodecHostile, RefusedQuicklyAndWithoutFollowingThem) {
    const struct {
        const char* what;
        std::string input;
    } cases[] = {
        {"binary levels referring twice to the next", doublingBinary(22)},
        {"binary array holding itself", binaryPlist({bytes({0xA1, 0})})},
        {"binary cycle through a dictionary",
         binaryPlist({bytes({0xD1, 1, 2}), bytes({0x51, 'k'}), bytes({0xA1, 0})})},
        {"binary nesting past the limit",
         [] {
             std::vector<std::string> chain;
             for (int i = 0; i < 200; ++i) {
                 chain.push_back(bytes({0xA1, i + 1}));
             }
             chain.push_back(bytes({0x08}));
             return binaryPlist(chain);
         }()},
        {"binary array declaring 2^60 items",
         binaryPlist({bytes({0xAF, 0x13, 0x10, 0, 0, 0, 0, 0, 0, 0})})},
        {"binary string longer than the file",
         binaryPlist({bytes({0x5F, 0x12, 0x7F, 0xFF, 0xFF, 0xFF})})},
        {"binary trailer declaring 2^62 objects", binaryPlist({bytes({0x08})}, 1ULL << 62)},
        {"binary reference past the last object", binaryPlist({bytes({0xA1, 7})})},
        {"binary dictionary key that is not text",
         binaryPlist({bytes({0xD1, 1, 1}), bytes({0x10, 5})})},
        {"binary truncated before its trailer", doublingBinary(3).substr(0, 20)},
        {"XML nesting a hundred thousand arrays", xmlDocument(repeated("<array>", 100000))},
        {"XML nesting dictionaries past the limit",
         xmlDocument(repeated("<dict><key>k</key>", 100) + "<true/>" + repeated("</dict>", 100))},
        {"XML truncated mid-dictionary", xmlDocument("<dict><key>a</key><string>b").substr(0, 80)},
        {"XML without its closing plist tag",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/>"},
        {"XML with text after the document", xmlDocument("<dict/>") + "<dict/>"},
        {"XML unterminated comment", xmlDocument("<!-- " + std::string(1 << 20, '-'))},
        {"XML string of bare ampersands never closed",
         xmlDocument("<string>" + std::string(1 << 22, '&'))},
        {"XML key without a value", xmlDocument("<dict><key>a</key></dict>")},
        {"XML unknown element", xmlDocument("<dict><key>a</key><float>1</float></dict>")},
        {"XML integer that is not a number", xmlDocument("<integer>12abc</integer>")},
        {"XML data that is not base64", xmlDocument("<data>AA*A</data>")},
        {"XML date that is not a date", xmlDocument("<date>yesterday</date>")},
    };
    for (const auto& c : cases) {
        // A hang or a runaway allocation here shows as the test's time-out or the
        // sanitizer's memory limit; bench_store measures the speed.
        EXPECT_FALSE(parsePlist(c.input)) << c.what;
    }
}

TEST(PlistCodecHostile, SharedObjectsOfAnHonestFileStillRead) {
    // Writers store one copy of repeated values: a thousand references to one string and to
    // one small dictionary are ordinary, not an attack.
    std::string manyRefs = bytes({0xAF, 0x11, 0x07, 0xD0});
    for (int i = 0; i < 2000; ++i) {
        manyRefs += static_cast<char>(1 + i % 2);
    }
    const std::string file =
        binaryPlist({bytes({0xD1, 3, 4}), bytes({0x53, 'a', 'b', 'c'}), bytes({0xD1, 3, 1}),
                     bytes({0x54, 'l', 'i', 's', 't'}), manyRefs});
    // Objects: 0 top dict {list: [...]}, 1 "abc", 2 {list: "abc"}, 3 "list", 4 the array.
    const auto parsed = parsePlist(file);
    ASSERT_TRUE(parsed && parsed->dict());
    const Value* list = find(*parsed->dict(), "list");
    ASSERT_TRUE(list && list->array());
    ASSERT_EQ(list->array()->size(), 2000u);
    EXPECT_EQ((*list->array())[0], Value("abc"));
    EXPECT_EQ((*list->array())[1], Value(Dict{{"list", "abc"}}));
}

// Files written before keep their exact bytes when rewritten unchanged: the writer's layout
// matches the library the files were first written with, for every kind of value.
TEST(PlistCodecLayout, MatchesTheLayoutExistingFilesHave) {
    Data bytes200;
    for (int i = 0; i < 200; ++i) {
        bytes200.push_back(static_cast<std::uint8_t>(i * 7));
    }
    Value nested(Array{Value(bytes200), Value(Data{}), Value(Data{1, 2})});
    for (int depth = 0; depth < 11; ++depth) {
        nested = Value(Array{nested, Value(bytes200)});
    }
    const Value root(Dict{
        {"markup <&> \"quotes\" 'apos'", "a\x01<b>&\"c\r\n\xff\xfe ]]> \ttab"},
        {"numbers", Array{Value(0), Value(-5), Value(std::int64_t{1} << 62), Value(0.0), Value(3.0),
                          Value(0.1), Value(-1.5e-7), Value(1e300), Value(NAN), Value(INFINITY),
                          Value(-INFINITY), Value(123456789.123)}},
        {"flags", Array{Value(true), Value(false)}},
        {"dates", Array{Value(Date{1700000000}), Value(Date{0}), Value(Date{-1e12})}},
        {"empty", Array{Value(Array{}), Value(Dict{}), Value(""), Value()}},
        {"nested", nested},
    });

    const std::function<plist_t(const Value&)> node = [&](const Value& v) -> plist_t {
        switch (v.type()) {
            case Value::Type::Bool:
                return plist_new_bool(*v.boolean() ? 1 : 0);
            case Value::Type::Integer:
                return plist_new_uint(static_cast<std::uint64_t>(*v.integer()));
            case Value::Type::Real:
                return plist_new_real(*v.real());
            case Value::Type::String:
                return plist_new_string(v.string()->c_str());
            case Value::Type::Data:
                return plist_new_data(reinterpret_cast<const char*>(v.data()->data()),
                                      v.data()->size());
            case Value::Type::Date: {
                const double since =
                    std::max(std::floor(v.date()->unixSeconds - 978307200.0), -2147483648.0);
                return plist_new_date(static_cast<std::int32_t>(since), 0);
            }
            case Value::Type::Array: {
                plist_t a = plist_new_array();
                for (const Value& item : *v.array()) {
                    plist_array_append_item(a, node(item));
                }
                return a;
            }
            case Value::Type::Dict: {
                plist_t d = plist_new_dict();
                for (const auto& [key, item] : *v.dict()) {
                    plist_dict_set_item(d, key.c_str(), node(item));
                }
                return d;
            }
            default:
                return plist_new_string("");
        }
    };
    plist_t reference = node(root);
    char* text = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(reference, &text, &length);
    const std::string expected(text, length);
    plist_to_xml_free(text);
    plist_free(reference);
    EXPECT_EQ(toXmlPlist(root), expected);
}

TEST(PlistCodecXml, ReadsTheFormsOtherWritersUse) {
    const struct {
        std::string body;
        Value expected;
    } cases[] = {
        {"<string>a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos;</string>",
         Value("a & b <c> \"d\" 'e'")},
        {"<string>&#233;&#x1F600; &unknown; & alone</string>",
         Value("\xC3\xA9\xF0\x9F\x98\x80 &unknown; & alone")},
        {"<string><![CDATA[<not> &markup;]]> after</string>", Value("<not> &markup; after")},
        {"<string>a<!-- hidden -->b</string>", Value("ab")},
        {"<string/>", Value("")},
        {"<integer> -42 </integer>", Value(-42)},
        {"<integer>0x1F</integer>", Value(31)},
        {"<integer>18446744073709551615</integer>", Value(-1)},
        {"<real>+infinity</real>", Value(INFINITY)},
        {"<real>-2.5e3</real>", Value(-2500.0)},
        {"<true></true>", Value(true)},
        {"<date>2023-11-14T22:13:20Z</date>", Value(Date{1700000000})},
        {"<date>1969-12-31T23:59:59Z</date>", Value(Date{-1})},
        {"<data>\n\tAAEC\n\t/w==\n</data>", Value(Data{0, 1, 2, 255})},
        {"<dict>\n<!-- note -->\n<key>b</key><integer>1</integer><key>a</key><false/>"
         "<key>b</key><integer>2</integer></dict>",
         Value(Dict{{"a", false}, {"b", 2}})},
        {"<array><array/><dict/></array>", Value(Array{Value(Array{}), Value(Dict{})})},
    };
    for (const auto& c : cases) {
        const auto parsed = parsePlist(xmlDocument(c.body));
        ASSERT_TRUE(parsed) << c.body;
        EXPECT_EQ(*parsed, c.expected) << c.body;
    }
    // A document type with an internal subset, and a bare value without the plist wrapper.
    EXPECT_EQ(parsePlist("<!DOCTYPE plist [ <!ENTITY x \"y\"> ]>\n<plist><true/></plist>"),
              Value(true));
    EXPECT_EQ(parsePlist("\xEF\xBB\xBF<dict><key>k</key><string>v</string></dict>\n"),
              Value(Dict{{"k", "v"}}));
}

TEST(PlistCodecBinary, ReadsEveryKindOfObject) {
    const std::string file = binaryPlist({
        bytes({0xAB, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}),
        bytes({0x09}),
        bytes({0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB}),  // -5
        bytes({0x11, 0x01, 0x00}),                                      // 256
        bytes({0x23, 0x40, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}),  // 2.5
        bytes({0x22, 0x3F, 0xC0, 0x00, 0x00}),                          // 1.5f
        bytes({0x33, 0x41, 0xC1, 0xD2, 0x60, 0xC0, 0x00, 0x00, 0x00}),  // 2001 + 598,000,000 s
        bytes({0x42, 0x00, 0xFF}),
        bytes({0x62, 0x00, 0xE9, 0xD8, 0x3D}),  // "é" then an unpaired surrogate
        bytes({0x80, 0x07}),                    // a UID reads as its number
        bytes({0x00}),
        bytes({0x52, 'o', 'k'}),
    });
    const auto parsed = parsePlist(file);
    ASSERT_TRUE(parsed && parsed->array());
    const Array expected{Value(true),
                         Value(-5),
                         Value(256),
                         Value(2.5),
                         Value(1.5),
                         Value(Date{978307200.0 + 598000000.0}),
                         Value(Data{0, 255}),
                         Value("\xC3\xA9\xEF\xBF\xBD"),
                         Value(7),
                         Value(),
                         Value("ok")};
    EXPECT_EQ(*parsed->array(), expected);
}

}  // namespace
}  // namespace tf

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <limits>

#include "model/json_value.h"
#include "model/plist_codec.h"
#include "model/value.h"

namespace tf {
namespace {

Value roundTrip(const Value& v) {
    auto back = parsePlist(toXmlPlist(Value(Dict{{"v", v}})));
    EXPECT_TRUE(back.has_value());
    if (!back || back->dict() == nullptr) {
        return {};
    }
    const Value* item = find(*back->dict(), "v");
    return item != nullptr ? *item : Value();
}

TEST(PlistCodec, KeepsEveryTypeThroughXml) {
    EXPECT_EQ(roundTrip(Value(true)).type(), Value::Type::Bool);
    EXPECT_EQ(roundTrip(Value(false)), Value(false));
    EXPECT_EQ(roundTrip(Value(0)), Value(0));
    EXPECT_EQ(roundTrip(Value(1)).type(), Value::Type::Integer);
    EXPECT_EQ(roundTrip(Value(-5)), Value(-5));
    EXPECT_EQ(roundTrip(Value(std::numeric_limits<std::int64_t>::max())),
              Value(std::numeric_limits<std::int64_t>::max()));
    EXPECT_EQ(roundTrip(Value(2.5)), Value(2.5));
    EXPECT_EQ(roundTrip(Value(3.0)).type(), Value::Type::Real);
    EXPECT_EQ(roundTrip(Value("")), Value(""));
    EXPECT_EQ(roundTrip(Value(Data{0, 1, 255})), Value(Data{0, 1, 255}));
    EXPECT_EQ(roundTrip(Value(Date{1700000000})), Value(Date{1700000000}));
    const Value nested(Array{Value(Dict{{"key", "New File"}, {"disabled", true}}), Value(7)});
    EXPECT_EQ(roundTrip(nested), nested);
}

TEST(PlistCodec, KeepsFileNameBytesThatAreNotText) {
    // File names may hold control characters, markup characters and invalid UTF-8; a cut
    // list holding such a path must come back byte for byte.
    const std::string odd = std::string("a\x01") + "<b>&\"c\r\n" + "\xff\xfe";
    EXPECT_EQ(roundTrip(Value(odd)), Value(odd));
}

TEST(PlistCodec, ReadsBinaryPropertyLists) {
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "pref check7", plist_new_bool(1));
    plist_dict_set_item(root, "common path next menu", plist_new_uint(4));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    const auto parsed = parsePlist(std::string_view(bytes, length));
    std::free(bytes);
    plist_free(root);
    ASSERT_TRUE(parsed && parsed->dict());
    EXPECT_EQ(*find(*parsed->dict(), "pref check7"), Value(true));
    EXPECT_EQ(*find(*parsed->dict(), "common path next menu"), Value(4));
}

TEST(PlistCodec, RejectsWhatIsNotAPropertyList) {
    EXPECT_FALSE(parsePlist(""));
    EXPECT_FALSE(parsePlist("not a plist at all"));
    EXPECT_FALSE(parsePlist("<?xml version=\"1.0\"?><plist><dict><key>a</key>"));
}

TEST(PlistCodec, AbsurdNestingIsDamageNotACrash) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 100000; ++i) {
        xml += "<array>";
    }
    EXPECT_FALSE(parsePlist(xml));
    // Nesting a settings file really has is fine.
    Value deep(Array{});
    for (int i = 0; i < 20; ++i) {
        deep = Value(Array{deep});
    }
    EXPECT_TRUE(parsePlist(toXmlPlist(deep)));
}

TEST(ValueConversions, ReadOtherTypesAsSettingsReadersExpect) {
    EXPECT_TRUE(Value(1).toBool());
    EXPECT_FALSE(Value(0).toBool());
    EXPECT_TRUE(Value(0.5).toBool());
    EXPECT_TRUE(Value("YES").toBool());
    EXPECT_TRUE(Value("true").toBool());
    EXPECT_TRUE(Value(" 007").toBool());
    EXPECT_FALSE(Value("no").toBool());
    EXPECT_FALSE(Value("000").toBool());
    EXPECT_FALSE(Value(Array{}).toBool());
    EXPECT_EQ(Value(true).toInteger(), 1);
    EXPECT_EQ(Value("42abc").toInteger(), 42);
    EXPECT_EQ(Value(-2.9).toInteger(), -2);
    EXPECT_EQ(Value(1e300).toInteger(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Value(5).toString(), "");
}

TEST(ValueDictionary, AbsentKeysReadFalseZeroEmpty) {
    const Dict d{{"b", true}, {"n", 3}, {"s", "x"}};
    EXPECT_FALSE(dictBool(d, "missing"));
    EXPECT_EQ(dictInteger(d, "missing"), 0);
    EXPECT_EQ(dictString(d, "missing"), "");
    EXPECT_TRUE(dictBool(d, "b"));
    EXPECT_EQ(dictInteger(d, "n"), 3);
    EXPECT_EQ(dictString(d, "s"), "x");
    EXPECT_EQ(dictString(d, "n"), "");
}

TEST(JsonValue, RoundTripsTypes) {
    const Value original(Dict{{"bool", true},
                              {"int", 4},
                              {"real", 4.0},
                              {"text", "t"},
                              {"data", Data{'h', 'i', '!'}},
                              {"date", Date{0}},
                              {"list", Array{Value(Dict{{"key", "A"}})}}});
    const nlohmann::json json = toJson(original);
    EXPECT_TRUE(json["bool"].is_boolean());
    EXPECT_TRUE(json["int"].is_number_integer());
    EXPECT_TRUE(json["real"].is_number_float());
    EXPECT_EQ(json["data"]["$data"], "aGkh");
    EXPECT_EQ(json["date"]["$date"], "1970-01-01T00:00:00Z");
    std::string error;
    const auto back = valueFromJson(nlohmann::json::parse(json.dump()), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, original);
}

TEST(JsonValue, RefusesValuesASettingCannotHold) {
    std::string error;
    EXPECT_FALSE(valueFromJson(nlohmann::json::parse("null"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(valueFromJson(nlohmann::json::parse("18446744073709551615"), error));
    EXPECT_FALSE(valueFromJson(nlohmann::json::parse(R"({"$data": "%%%"})"), error));
    EXPECT_FALSE(valueFromJson(nlohmann::json::parse(R"({"$date": "yesterday"})"), error));
    EXPECT_FALSE(valueFromJson(nlohmann::json::parse("[1, null]"), error));
    for (const char* nul : {R"("a\u0000b")", R"(["ok", "\u0000"])", R"({"k\u0000": 1})",
                            R"({"k": {"\u0000": true}})"}) {
        error.clear();
        EXPECT_FALSE(valueFromJson(nlohmann::json::parse(nul), error)) << nul;
        EXPECT_NE(error.find("NUL"), std::string::npos) << nul;
    }
}

TEST(JsonValue, Base64HandlesEveryPaddingLength) {
    for (const std::string text : {"", "f", "fo", "foo", "foob", "fooba", "foobar"}) {
        const Data data(text.begin(), text.end());
        const auto back = base64Decode(base64Encode(data));
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, data) << text;
    }
    EXPECT_EQ(base64Encode(Data{'f', 'o', 'o', 'b'}), "Zm9vYg==");
}

}  // namespace
}  // namespace tf

// The settings file reader: any bytes either fail cleanly or give a value that comes back
// the same after being written as XML and read again (what the store does on every edit).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "model/plist_codec.h"

namespace {

std::string shown(const tf::Value& value) {
    if (const std::string* s = value.string()) {
        std::string out = "string \"";
        for (const char c : *s) {
            const auto u = static_cast<unsigned char>(c);
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += u >= 0x20 && u < 0x7f ? std::string(1, c) : std::string(hex);
        }
        return out + "\"";
    }
    if (const double* d = value.real()) {
        char text[40];
        std::snprintf(text, sizeof text, "real %.17g", *d);
        return text;
    }
    if (const tf::Date* d = value.date()) {
        char text[40];
        std::snprintf(text, sizeof text, "date %.17g", d->unixSeconds);
        return text;
    }
    return std::string(tf::typeName(value.type()));
}

// Where two values first differ, as a path of keys and indexes, and what each holds there.
std::string difference(const tf::Value& a, const tf::Value& b, const std::string& at = "") {
    if (a.type() == b.type()) {
        if (const tf::Dict* da = a.dict()) {
            const tf::Dict& db = *b.dict();
            for (const auto& [key, item] : *da) {
                const auto it = db.find(key);
                if (it == db.end()) {
                    return at + "/" + shown(tf::Value(key)) + ": missing after the round trip";
                }
                if (!(item == it->second)) {
                    return difference(item, it->second, at + "/" + shown(tf::Value(key)));
                }
            }
            return at + ": keys added";
        }
        if (const tf::Array* xa = a.array()) {
            const tf::Array& xb = *b.array();
            for (std::size_t i = 0; i < xa->size() && i < xb.size(); ++i) {
                if (!((*xa)[i] == xb[i])) {
                    return difference((*xa)[i], xb[i], at + "/" + std::to_string(i));
                }
            }
            return at + ": lengths differ";
        }
    }
    return at + ": " + shown(a) + " became " + shown(b);
}

std::string beforeNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

// The value as its XML form can keep it. A null is written as an empty string. Text ends at
// a NUL (keys too, so two may become one: the later wins). Dates keep whole seconds, within
// the 32-bit second count from 2001 of the binary form. A NaN, unequal to itself, is compared
// as a marker. A date that is not finite has no XML form: `comparable` turns false.
tf::Value kept(const tf::Value& value, bool& comparable) {
    if (value.isNull()) {
        return tf::Value("");
    }
    if (const std::string* s = value.string()) {
        return tf::Value(beforeNul(*s));
    }
    if (const tf::Date* d = value.date()) {
        comparable = comparable && std::isfinite(d->unixSeconds);
        constexpr double kEpoch2001 = 978307200.0;
        const double since = std::clamp(std::floor(d->unixSeconds - kEpoch2001),
                                        double{std::numeric_limits<std::int32_t>::min()},
                                        double{std::numeric_limits<std::int32_t>::max()});
        return tf::Value(tf::Date{kEpoch2001 + since});
    }
    if (const double* r = value.real(); r != nullptr && std::isnan(*r)) {
        return tf::Value("<NaN>");
    }
    if (const tf::Array* a = value.array()) {
        tf::Array out;
        for (const tf::Value& item : *a) {
            out.push_back(kept(item, comparable));
        }
        return tf::Value(std::move(out));
    }
    if (const tf::Dict* d = value.dict()) {
        tf::Dict out;
        for (const auto& [key, item] : *d) {
            out.insert_or_assign(beforeNul(key), kept(item, comparable));
        }
        return tf::Value(std::move(out));
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto value = tf::parsePlist(bytes);
    if (!value) {
        return 0;
    }
    const std::string xml = tf::toXmlPlist(*value);
    const auto again = tf::parsePlist(xml);
    tf::fuzz::check(again.has_value(), "written property list does not parse", xml);
    bool comparable = true;
    const tf::Value expected = kept(*value, comparable);
    const tf::Value got = kept(*again, comparable);
    if (comparable) {
        tf::fuzz::check(got == expected, "value changed through XML", difference(expected, got));
    }
    return 0;
}

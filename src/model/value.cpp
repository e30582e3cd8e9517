#include "model/value.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace tf {

namespace {

std::string_view skipBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
        ++i;
    }
    return text.substr(i);
}

// A string's truth value as settings readers have always taken it: "Y", "y", "T", "t" or a
// non-zero digit after optional blanks, sign and leading zeros.
bool stringTruth(std::string_view text) {
    text = skipBlanks(text);
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && text[0] == '0') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    const char c = text[0];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::int64_t leadingInteger(std::string_view text) {
    text = skipBlanks(text);
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

bool Value::toBool() const {
    switch (type()) {
        case Type::Bool:
            return *boolean();
        case Type::Integer:
            return *integer() != 0;
        case Type::Real:
            return *real() != 0.0;
        case Type::String:
            return stringTruth(*string());
        default:
            return false;
    }
}

std::int64_t Value::toInteger() const {
    switch (type()) {
        case Type::Bool:
            return *boolean() ? 1 : 0;
        case Type::Integer:
            return *integer();
        case Type::Real: {
            const double r = *real();
            if (!std::isfinite(r)) {
                return 0;
            }
            if (r >= 9.2e18) {
                return std::numeric_limits<std::int64_t>::max();
            }
            if (r <= -9.2e18) {
                return std::numeric_limits<std::int64_t>::min();
            }
            return static_cast<std::int64_t>(r);
        }
        case Type::String:
            return leadingInteger(*string());
        default:
            return 0;
    }
}

double Value::toReal() const {
    switch (type()) {
        case Type::Bool:
            return *boolean() ? 1.0 : 0.0;
        case Type::Integer:
            return static_cast<double>(*integer());
        case Type::Real:
            return *real();
        case Type::String: {
            const std::string_view text = skipBlanks(*string());
            double value = 0;
            std::from_chars(text.data(), text.data() + text.size(), value);
            return value;
        }
        default:
            return 0.0;
    }
}

std::string Value::toString() const {
    const std::string* s = string();
    return s != nullptr ? *s : std::string();
}

const Value* find(const Dict& dict, std::string_view key) {
    const auto it = dict.find(key);
    return it == dict.end() ? nullptr : &it->second;
}

bool dictBool(const Dict& dict, std::string_view key) {
    const Value* v = find(dict, key);
    return v != nullptr && v->toBool();
}

std::int64_t dictInteger(const Dict& dict, std::string_view key) {
    const Value* v = find(dict, key);
    return v != nullptr ? v->toInteger() : 0;
}

std::string dictString(const Dict& dict, std::string_view key) {
    const Value* v = find(dict, key);
    return v != nullptr ? v->toString() : std::string();
}

std::string_view typeName(Value::Type type) {
    switch (type) {
        case Value::Type::Null:
            return "null";
        case Value::Type::Bool:
            return "bool";
        case Value::Type::Integer:
            return "integer";
        case Value::Type::Real:
            return "real";
        case Value::Type::String:
            return "string";
        case Value::Type::Data:
            return "data";
        case Value::Type::Date:
            return "date";
        case Value::Type::Array:
            return "array";
        case Value::Type::Dict:
            return "dictionary";
    }
    return "unknown";
}

}  // namespace tf

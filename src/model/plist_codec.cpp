#include "model/plist_codec.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace tf {

namespace {

// Property-list dates count from 2001-01-01.
constexpr double kPlistEpochOffset = 978307200.0;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Deeper nesting than any settings file has is treated as damage, not followed.
constexpr int kMaxNesting = 64;

struct TooDeep {};

Value fromNode(plist_t node, int depth) {
    if (depth > kMaxNesting) {
        throw TooDeep{};
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return Value(b != 0);
        }
        case PLIST_UINT: {
            std::uint64_t u = 0;
            plist_get_uint_val(node, &u);
            // Integers are signed in every property list we write; negative ones come back
            // as their two's complement.
            return Value(static_cast<std::int64_t>(u));
        }
        case PLIST_UID: {
            std::uint64_t u = 0;
            plist_get_uid_val(node, &u);
            return Value(static_cast<std::int64_t>(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return Value(d);
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return Value(std::string(text != nullptr ? text : "", length));
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
            return Value(Data(begin, begin + length));
        }
        case PLIST_DATE: {
            std::int32_t sec = 0;
            std::int32_t usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return Value(Date{kPlistEpochOffset + sec + usec / 1e6});
        }
        case PLIST_ARRAY: {
            Array array;
            const std::uint32_t count = plist_array_get_size(node);
            array.reserve(count);
            for (std::uint32_t i = 0; i < count; ++i) {
                array.push_back(fromNode(plist_array_get_item(node, i), depth + 1));
            }
            return Value(std::move(array));
        }
        case PLIST_DICT: {
            Dict dict;
            plist_dict_iter rawIt = nullptr;
            plist_dict_new_iter(node, &rawIt);
            const std::unique_ptr<void, decltype(&std::free)> it(rawIt, &std::free);
            for (;;) {
                char* rawKey = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, rawIt, &rawKey, &item);
                if (rawKey == nullptr) {
                    break;
                }
                const std::unique_ptr<char, decltype(&std::free)> key(rawKey, &std::free);
                dict.insert_or_assign(std::string(rawKey), fromNode(item, depth + 1));
            }
            return Value(std::move(dict));
        }
        default:
            return Value();
    }
}

plist_t toNode(const Value& value) {
    switch (value.type()) {
        case Value::Type::Null:
            // Absent values are never stored; an empty string keeps the slot readable.
            return plist_new_string("");
        case Value::Type::Bool:
            return plist_new_bool(*value.boolean() ? 1 : 0);
        case Value::Type::Integer:
            return plist_new_uint(static_cast<std::uint64_t>(*value.integer()));
        case Value::Type::Real:
            return plist_new_real(*value.real());
        case Value::Type::String:
            // Text cannot hold a NUL in a property list; what follows one is not kept.
            return plist_new_string(value.string()->c_str());
        case Value::Type::Data: {
            const Data& d = *value.data();
            return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
        }
        case Value::Type::Date: {
            const double since = value.date()->unixSeconds - kPlistEpochOffset;
            double whole = std::floor(since);
            if (whole > std::numeric_limits<std::int32_t>::max()) {
                whole = std::numeric_limits<std::int32_t>::max();
            }
            if (whole < std::numeric_limits<std::int32_t>::min()) {
                whole = std::numeric_limits<std::int32_t>::min();
            }
            const auto usec = static_cast<std::int32_t>(std::lround((since - whole) * 1e6));
            return plist_new_date(static_cast<std::int32_t>(whole), std::min(usec, 999999));
        }
        case Value::Type::Array: {
            plist_t node = plist_new_array();
            for (const Value& item : *value.array()) {
                plist_array_append_item(node, toNode(item));
            }
            return node;
        }
        case Value::Type::Dict: {
            plist_t node = plist_new_dict();
            for (const auto& [key, item] : *value.dict()) {
                plist_dict_set_item(node, key.c_str(), toNode(item));
            }
            return node;
        }
    }
    return plist_new_string("");
}

// The XML reader beneath us recurses per level; refuse absurd nesting before it sees it.
bool xmlNestsTooDeep(std::string_view text) {
    int depth = 0;
    for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        const std::string_view tag = text.substr(i + 1, 6);
        if (tag.substr(0, 5) == "array" || tag.substr(0, 4) == "dict") {
            const std::size_t close = text.find('>', i);
            if (close != std::string_view::npos && text[close - 1] != '/' &&
                ++depth > kMaxNesting) {
                return true;
            }
        } else if (tag.substr(0, 6) == "/array" || tag.substr(0, 5) == "/dict") {
            --depth;
        }
    }
    return false;
}

}  // namespace

std::optional<Value> parsePlist(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    if (bytes.substr(0, 6) != "bplist" && xmlNestsTooDeep(bytes)) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return std::nullopt;
    }
    PlistPtr owner(root);
    try {
        return fromNode(root, 0);
    } catch (const TooDeep&) {
        return std::nullopt;
    }
}

std::string toXmlPlist(const Value& root) {
    PlistPtr node(toNode(root));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(static_cast<plist_t>(node.get()), &xml, &length);
    std::string text(xml != nullptr ? xml : "", length);
    plist_to_xml_free(xml);
    return text;
}

}  // namespace tf

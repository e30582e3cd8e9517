#include "model/json_value.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "util/resources.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Index(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

std::string imageJson(const ImageRef& image) {
    switch (image.kind) {
        case ImageRef::Kind::File:
            return image.value;
        case ImageRef::Kind::Resource:
            return imageResourceIcon(image.value);
        case ImageRef::Kind::None:
            break;
    }
    return {};
}

}  // namespace

std::string base64Encode(const Data& data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::uint32_t chunk = (std::uint32_t{data[i]} << 16) |
                                    (i + 1 < data.size() ? std::uint32_t{data[i + 1]} << 8 : 0) |
                                    (i + 2 < data.size() ? std::uint32_t{data[i + 2]} : 0);
        out += kBase64[(chunk >> 18) & 63];
        out += kBase64[(chunk >> 12) & 63];
        out += i + 1 < data.size() ? kBase64[(chunk >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kBase64[chunk & 63] : '=';
    }
    return out;
}

std::optional<Data> base64Decode(std::string_view text) {
    Data out;
    std::uint32_t buffer = 0;
    int bits = 0;
    std::size_t padding = 0;
    for (const char c : text) {
        if (c == '=') {
            ++padding;
            continue;
        }
        if (c == '\n' || c == '\r' || c == ' ') {
            continue;
        }
        const int index = base64Index(c);
        if (index < 0 || padding > 0) {
            return std::nullopt;
        }
        buffer = (buffer << 6) | static_cast<std::uint32_t>(index);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xff));
        }
    }
    if (padding > 2) {
        return std::nullopt;
    }
    return out;
}

std::string isoDate(const Date& date) {
    const auto seconds = static_cast<std::time_t>(std::floor(date.unixSeconds));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::optional<Date> parseIsoDate(std::string_view text) {
    std::tm utc{};
    const std::string s(text);
    const char* end = strptime(s.c_str(), "%Y-%m-%dT%H:%M:%S", &utc);
    if (end == nullptr || (*end != 'Z' && *end != '\0') || (*end == 'Z' && end[1] != '\0')) {
        return std::nullopt;
    }
    return Date{static_cast<double>(timegm(&utc))};
}

nlohmann::json toJson(const Value& value) {
    switch (value.type()) {
        case Value::Type::Null:
            return nullptr;
        case Value::Type::Bool:
            return *value.boolean();
        case Value::Type::Integer:
            return *value.integer();
        case Value::Type::Real:
            return *value.real();
        case Value::Type::String:
            return *value.string();
        case Value::Type::Data:
            return nlohmann::json{{"$data", base64Encode(*value.data())}};
        case Value::Type::Date:
            return nlohmann::json{{"$date", isoDate(*value.date())}};
        case Value::Type::Array: {
            nlohmann::json out = nlohmann::json::array();
            for (const Value& item : *value.array()) {
                out.push_back(toJson(item));
            }
            return out;
        }
        case Value::Type::Dict: {
            nlohmann::json out = nlohmann::json::object();
            for (const auto& [key, item] : *value.dict()) {
                out[key] = toJson(item);
            }
            return out;
        }
    }
    return nullptr;
}

namespace {

// Settings nest a few levels (list, entry, value); a limit keeps hostile input from
// exhausting the stack.
constexpr int kMaxNesting = 64;

std::optional<Value> valueFromJsonAt(const nlohmann::json& json, std::string& error, int depth);

}  // namespace

std::optional<Value> valueFromJson(const nlohmann::json& json, std::string& error) {
    return valueFromJsonAt(json, error, 0);
}

std::optional<Value> valueFromJsonText(std::string_view text, std::string& error) {
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        error =
            "malformed JSON value (at byte " + std::to_string(e.byte) + "): " + oneLine(text, 60);
        return std::nullopt;
    } catch (const nlohmann::json::out_of_range&) {
        // The reader throws this, not a parse error, for a number like 1e400.
        error = "number beyond the range of a real in: " + oneLine(text, 60);
        return std::nullopt;
    }
    return valueFromJson(json, error);
}

namespace {

std::optional<Value> valueFromJsonAt(const nlohmann::json& json, std::string& error, int depth) {
    using Kind = nlohmann::json::value_t;
    if (depth > kMaxNesting) {
        error = "value nested more than " + std::to_string(kMaxNesting) + " levels deep";
        return std::nullopt;
    }
    switch (json.type()) {
        case Kind::boolean:
            return Value(json.get<bool>());
        case Kind::number_integer:
            return Value(json.get<std::int64_t>());
        case Kind::number_unsigned: {
            const auto u = json.get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                error = "integer " + std::to_string(u) + " is too large";
                return std::nullopt;
            }
            return Value(static_cast<std::int64_t>(u));
        }
        case Kind::number_float:
            return Value(json.get<double>());
        case Kind::string: {
            std::string text = json.get<std::string>();
            if (text.find('\0') != std::string::npos) {
                error = "text holding a NUL character (\\u0000) cannot be stored: \"" +
                        oneLine(text, 60) + "\"";
                return std::nullopt;
            }
            return Value(std::move(text));
        }
        case Kind::array: {
            Array out;
            for (const auto& item : json) {
                auto v = valueFromJsonAt(item, error, depth + 1);
                if (!v) {
                    return std::nullopt;
                }
                out.push_back(std::move(*v));
            }
            return Value(std::move(out));
        }
        case Kind::object: {
            if (json.size() == 1 && json.contains("$data")) {
                const auto& text = json["$data"];
                auto data = text.is_string() ? base64Decode(text.get<std::string>()) : std::nullopt;
                if (!data) {
                    error = "\"$data\" must hold base64 text";
                    return std::nullopt;
                }
                return Value(std::move(*data));
            }
            if (json.size() == 1 && json.contains("$date")) {
                const auto& text = json["$date"];
                auto date = text.is_string() ? parseIsoDate(text.get<std::string>()) : std::nullopt;
                if (!date) {
                    error = "\"$date\" must hold a date like 2026-01-31T12:00:00Z";
                    return std::nullopt;
                }
                return Value(*date);
            }
            Dict out;
            for (const auto& [key, item] : json.items()) {
                if (key.find('\0') != std::string::npos) {
                    error = "key holding a NUL character (\\u0000) cannot be stored: \"" +
                            oneLine(key, 60) + "\"";
                    return std::nullopt;
                }
                auto v = valueFromJsonAt(item, error, depth + 1);
                if (!v) {
                    return std::nullopt;
                }
                out.insert_or_assign(key, std::move(*v));
            }
            return Value(std::move(out));
        }
        case Kind::null:
            error = "null is not a value (use unset to remove a key)";
            return std::nullopt;
        default:
            error = "unsupported JSON value";
            return std::nullopt;
    }
}

}  // namespace

nlohmann::json toJson(const RCMenuItem& item) {
    nlohmann::json out = nlohmann::json::object();
    auto text = [&](const char* name, const std::string& value) {
        if (!value.empty()) {
            out[name] = value;
        }
    };
    auto flag = [&](const char* name, bool value) {
        if (value) {
            out[name] = true;
        }
    };
    out["key"] = item.key;
    text("serve", item.serve);
    text("icon", item.icon);
    text("iconPath", item.iconPath);
    text("appName", item.appName);
    flag("isAddToMainMenu", item.isAddToMainMenu);
    text("path", item.path);
    text("displayName", item.displayName);
    text("templatePath", item.templatePath);
    text("ext", item.ext);
    text("fileName", item.fileName);
    text("introduce", item.introduce);
    flag("disabledAuth", item.disabledAuth);
    flag("isNeedFolder", item.isNeedFolder);
    flag("isNeedFile", item.isNeedFile);
    flag("isNeedSelectURL", item.isNeedSelectURL);
    flag("isNotNeedURL", item.isNotNeedURL);
    flag("isFoldUp", item.isFoldUp);
    flag("isMainMenuNewFile", item.isMainMenuNewFile);
    flag("isSpecialFile", item.isSpecialFile);
    text("script", item.script);
    flag("disabled", item.disabled);
    if (!item.formats.empty()) {
        out["formats"] = item.formats;
    }
    if (!item.cutPaths.empty()) {
        out["cutPaths"] = item.cutPaths;
    }
    flag("isShowHideFile", item.isShowHideFile);
    // `command` only marks the hide and show entries with another platform's shell command,
    // which nothing here runs: printing it would tell a reader to run it.
    out["menuTitle"] = item.menuTitle();
    text("menuIcon", imageJson(item.menuIcon()));
    return out;
}

std::string dumpJson(const nlohmann::json& json, int indent) {
    return json.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tf

#include "model/settings_keys.h"

#include <array>

namespace tf {

namespace {

using T = Value::Type;

constexpr std::array<SettingKeyInfo, 26> kKeys{{
    {"array right menu", T::Array, true},
    {"array new file", T::Array, true},
    {"array common app", T::Array, true},
    {"array common path", T::Array, true},
    {"array common script", T::Array, true},
    {"array folder icon", T::Array, true},
    {"pref check", T::Bool},
    {"pref check0", T::Bool},
    {"pref check1", T::Bool},
    {"pref check2", T::Bool},
    {"pref check3", T::Bool},
    {"pref check4", T::Bool},
    {"pref check5", T::Bool},
    {"pref check6", T::Bool},
    {"pref check7", T::Bool},
    {"pref check8", T::Bool},
    {"main open key", T::Integer},
    {"common path next menu", T::Integer},
    {"compress skip junk", T::Bool},
    {"fold menu name", T::String},
    {"open new file", T::Bool},
    {"is reviewed", T::Bool},
    {"update version", T::String},
    // Usage tally of the menu service: commands started in total and per entry key.
    {"use count", T::Integer},
    {"use count by key", T::Dict},
    // The terminal the second set of terminal entries opens (a program name or path).
    {"second terminal", T::String},
}};

}  // namespace

std::optional<SettingKeyInfo> knownSettingKey(std::string_view name) {
    for (const SettingKeyInfo& info : kKeys) {
        if (info.name == name) {
            return info;
        }
    }
    return std::nullopt;
}

Value defaultValueFor(const SettingKeyInfo& info) {
    switch (info.type) {
        case T::Bool:
            return Value(false);
        case T::Integer:
            return Value(0);
        case T::Real:
            return Value(0.0);
        case T::String:
            return Value(std::string());
        case T::Array:
            return Value(Array{});
        case T::Dict:
            return Value(Dict{});
        default:
            return Value();
    }
}

}  // namespace tf

namespace tf {

std::string settingValueProblem(std::string_view key, const Value& value) {
    const auto info = knownSettingKey(key);
    if (!info) {
        if (value.type() == Value::Type::Bool) {
            return {};
        }
        return "unknown key \"" + std::string(key) +
               "\" (keys the programs do not define may only hold true or false)";
    }
    if (value.type() != info->type) {
        return "\"" + std::string(key) + "\" holds " + std::string(typeName(info->type)) +
               ", not " + std::string(typeName(value.type()));
    }
    if (info->listOfDictionaries) {
        for (const Value& entry : *value.array()) {
            if (entry.dict() == nullptr) {
                return "\"" + std::string(key) + "\" is a list of dictionaries";
            }
        }
    }
    return {};
}

}  // namespace tf

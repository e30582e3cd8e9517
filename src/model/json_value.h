// JSON forms of settings values and catalogue records, for the command-line tools and the
// menu protocol. Types survive the round trip: true stays a bool, 3 an integer, 3.0 a real;
// data and dates, which JSON lacks, are {"$data": "<base64>"} and {"$date": "<ISO 8601>"}.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

#include "model/menu_item.h"
#include "model/value.h"

namespace tf {

nlohmann::json toJson(const Value& value);

// Null and the error text in `error` when the JSON cannot be a settings value (null,
// integers beyond 64 bits, malformed "$data"/"$date", text or keys holding a NUL character,
// which the settings file cannot keep).
std::optional<Value> valueFromJson(const nlohmann::json& json, std::string& error);

// The same from JSON text, as `trackfolio settings set` takes it; also null when the text is
// not JSON or holds a number beyond a double. The error quotes the start of the text.
std::optional<Value> valueFromJsonText(std::string_view text, std::string& error);

// Every field of a record that is set, plus its "menuTitle" and resolved "menuIcon".
nlohmann::json toJson(const RCMenuItem& item);

// Dumps with invalid UTF-8 replaced, so odd file names never make printing fail.
std::string dumpJson(const nlohmann::json& json, int indent = 2);

std::string base64Encode(const Data& data);
std::optional<Data> base64Decode(std::string_view text);
std::string isoDate(const Date& date);
std::optional<Date> parseIsoDate(std::string_view text);

}  // namespace tf

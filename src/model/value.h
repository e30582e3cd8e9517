// Typed settings values: what a property list holds. A bool stays a bool and an integer an
// integer through every read and write, so the other program sees exactly what was stored.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tf {

class Value;
using Array = std::vector<Value>;
using Dict = std::map<std::string, Value, std::less<>>;
using Data = std::vector<std::uint8_t>;

// A point in time, stored as seconds since the Unix epoch (property lists keep whole seconds).
struct Date {
    double unixSeconds = 0;
    auto operator<=>(const Date&) const = default;
};

class Value {
  public:
// Scoped enumerators cannot clash with the aliases above, but GCC's -Wshadow says they do.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
    enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dict };
#pragma GCC diagnostic pop

    Value() = default;
    Value(bool v) : storage_(v) {}
    Value(int v) : storage_(std::int64_t{v}) {}
    Value(std::int64_t v) : storage_(v) {}
    Value(double v) : storage_(v) {}
    Value(const char* v) : storage_(std::string(v)) {}
    Value(std::string v) : storage_(std::move(v)) {}
    Value(std::string_view v) : storage_(std::string(v)) {}
    Value(Data v) : storage_(std::move(v)) {}
    Value(Date v) : storage_(v) {}
    Value(Array v) : storage_(std::move(v)) {}
    Value(Dict v) : storage_(std::move(v)) {}

    Type type() const {
        return static_cast<Type>(storage_.index());
    }
    bool isNull() const {
        return type() == Type::Null;
    }

    // The typed accessors return null when the value holds another type.
    const bool* boolean() const {
        return std::get_if<bool>(&storage_);
    }
    const std::int64_t* integer() const {
        return std::get_if<std::int64_t>(&storage_);
    }
    const double* real() const {
        return std::get_if<double>(&storage_);
    }
    const std::string* string() const {
        return std::get_if<std::string>(&storage_);
    }
    const Data* data() const {
        return std::get_if<Data>(&storage_);
    }
    const Date* date() const {
        return std::get_if<Date>(&storage_);
    }
    const Array* array() const {
        return std::get_if<Array>(&storage_);
    }
    const Dict* dict() const {
        return std::get_if<Dict>(&storage_);
    }
    Array* array() {
        return std::get_if<Array>(&storage_);
    }
    Dict* dict() {
        return std::get_if<Dict>(&storage_);
    }

    // Conversions used when a reader expects one type and finds another: a number's truth
    // value, a string's leading number ("YES"/"true"/"1" read true), false/0/empty otherwise.
    bool toBool() const;
    std::int64_t toInteger() const;
    double toReal() const;
    // The string itself, or empty for any other type (numbers are not turned into text).
    std::string toString() const;

    bool operator==(const Value&) const = default;

  private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Data, Date, Array, Dict>
        storage_;
};

// Dictionary look-ups that read an absent key as false / 0 / empty.
const Value* find(const Dict& dict, std::string_view key);
bool dictBool(const Dict& dict, std::string_view key);
std::int64_t dictInteger(const Dict& dict, std::string_view key);
std::string dictString(const Dict& dict, std::string_view key);

std::string_view typeName(Value::Type type);

}  // namespace tf

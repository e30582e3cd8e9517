#include "model/catalogue_edit.h"

#include <algorithm>
#include <string>

namespace tf::catalogue {

namespace {

const std::string* keyOf(const Value& entry) {
    const Dict* d = entry.dict();
    if (d == nullptr) {
        return nullptr;
    }
    const Value* key = find(*d, "key");
    return key != nullptr ? key->string() : nullptr;
}

Array::iterator firstMatch(Array& list, std::string_view itemKey) {
    return std::find_if(list.begin(), list.end(),
                        [&](const Value& entry) { return matches(entry, itemKey); });
}

}  // namespace

Array& listIn(Dict& settings, std::string_view list) {
    auto it = settings.find(list);
    if (it == settings.end() || it->second.array() == nullptr) {
        it = settings.insert_or_assign(std::string(list), Value(Array{})).first;
    }
    return *it->second.array();
}

bool matches(const Value& entry, std::string_view itemKey) {
    const Dict* d = entry.dict();
    if (d == nullptr) {
        return false;
    }
    for (const char* field : {"key", "path"}) {
        const Value* v = find(*d, field);
        if (v != nullptr && v->string() != nullptr && *v->string() == itemKey) {
            return true;
        }
    }
    return false;
}

bool addMenuKey(Array& list, const Dict& item, bool toTop) {
    const Value* key = find(item, "key");
    if (key != nullptr && key->string() != nullptr) {
        const bool present = std::any_of(list.begin(), list.end(), [&](const Value& entry) {
            const std::string* k = keyOf(entry);
            return k != nullptr && *k == *key->string();
        });
        if (present) {
            return false;
        }
    }
    if (toTop) {
        list.insert(list.begin(), Value(item));
    } else {
        list.emplace_back(item);
    }
    return true;
}

std::optional<Dict> removeMenuKey(Array& list, std::string_view itemKey) {
    const auto it = firstMatch(list, itemKey);
    if (it == list.end()) {
        return std::nullopt;
    }
    Dict removed = *it->dict();
    const Value match(removed);
    list.erase(std::remove(list.begin(), list.end(), match), list.end());
    return removed;
}

bool updateMenuKey(Array& list, std::string_view itemKey, const Dict& changes) {
    const auto it = firstMatch(list, itemKey);
    if (it == list.end()) {
        return false;
    }
    Dict updated = *it->dict();
    for (const auto& [k, v] : changes) {
        if (v.isNull()) {
            updated.erase(k);
        } else {
            updated.insert_or_assign(k, v);
        }
    }
    const bool changed = updated != *it->dict();
    *it = Value(std::move(updated));
    return changed;
}

bool updateMenuKey(Array& list, std::string_view itemKey, std::string_view attrKey,
                   const Value& attrValue) {
    return updateMenuKey(list, itemKey, Dict{{std::string(attrKey), attrValue}});
}

bool replaceMenuKey(Array& list, const Dict& item) {
    const Value* key = find(item, "key");
    if (key == nullptr || key->string() == nullptr) {
        return false;
    }
    const auto it = std::find_if(list.begin(), list.end(), [&](const Value& entry) {
        const std::string* k = keyOf(entry);
        return k != nullptr && *k == *key->string();
    });
    if (it == list.end() || *it == Value(item)) {
        return false;
    }
    *it = Value(item);
    return true;
}

bool changePositionMenuKey(Array& list, std::int64_t fromIndex, std::int64_t toIndex) {
    const auto count = static_cast<std::int64_t>(list.size());
    if (fromIndex < 0 || fromIndex >= count || toIndex < 0 || toIndex > count) {
        return false;
    }
    Value entry = std::move(list[static_cast<std::size_t>(fromIndex)]);
    list.erase(list.begin() + fromIndex);
    const std::int64_t target = fromIndex < toIndex ? toIndex - 1 : toIndex;
    list.insert(list.begin() + target, std::move(entry));
    return target != fromIndex;
}

}  // namespace tf::catalogue

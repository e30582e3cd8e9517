#include "engine/tag_path.h"

#include <cstdio>

namespace tf {

std::string topTagString(std::int64_t tag) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02lld", static_cast<long long>(tag));
    return buffer;
}

std::optional<std::string> childTagString(const std::string& parent, std::size_t position) {
    if (position < 1 || position > kMaxTagPosition || parent.size() + 2 > kMaxTagGroups * 2) {
        return std::nullopt;
    }
    std::string tag;
    tag.reserve(parent.size() + 2);
    tag += parent;
    tag += static_cast<char>('0' + position / 10);
    tag += static_cast<char>('0' + position % 10);
    return tag;
}

std::int64_t tagValue(const std::string& tagString) {
    std::int64_t value = 0;
    for (const char c : tagString) {
        value = value * 10 + (c - '0');
    }
    return value;
}

std::vector<std::string> decodeTag(std::int64_t tag) {
    if (tag < 1) {
        return {};
    }
    std::string text = std::to_string(tag);
    if (text.size() % 2 != 0) {
        text.insert(text.begin(), '0');
    }
    std::vector<std::string> groups;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        groups.push_back(text.substr(i, 2));
    }
    return groups;
}

}  // namespace tf

#include "engine/menu_tree.h"

#include <string>
#include <string_view>

#include "util/resources.h"

namespace tf {

std::string iconReference(const ImageRef& icon) {
    switch (icon.kind) {
        case ImageRef::Kind::File:
            return icon.value;
        case ImageRef::Kind::Resource:
            return imageResourceIcon(icon.value);
        case ImageRef::Kind::None:
            break;
    }
    return {};
}

nlohmann::json menuToJson(const MenuList& menu) {
    nlohmann::json entries = nlohmann::json::array();
    for (const MenuNode& node : menu) {
        nlohmann::json entry = {{"key", node.key},
                                {"title", node.title},
                                {"tag", node.tag},
                                {"separator", node.separator}};
        const std::string icon = iconReference(node.icon);
        entry["icon"] = icon.empty() ? nlohmann::json() : nlohmann::json(icon);
        if (node.settingsAction) {
            entry["action"] = "settings";
        }
        if (node.children) {
            entry["children"] = menuToJson(*node.children);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

namespace {

void appendReplacement(std::string& out) {
    out += "\xEF\xBF\xBD";
}

// Length of the valid UTF-8 sequence starting at text[i], or 0.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char next = byte(i + k);
        const unsigned char min = k == 1 ? low : 0x80;
        const unsigned char max = k == 1 ? high : 0xBF;
        if (next < min || next > max) {
            return 0;
        }
    }
    return length;
}

void appendString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = utf8Length(text, i);
            if (length == 0) {
                appendReplacement(out);
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    out += '"';
}

// Keys in the order the JSON library writes them (sorted), so both forms are the same text.
void appendLevel(std::string& out, const MenuList& menu) {
    out += '[';
    bool first = true;
    for (const MenuNode& node : menu) {
        if (!first) {
            out += ',';
        }
        first = false;
        out += '{';
        if (node.settingsAction) {
            out += "\"action\":\"settings\",";
        }
        if (node.children) {
            out += "\"children\":";
            appendLevel(out, *node.children);
            out += ',';
        }
        out += "\"icon\":";
        const std::string icon = iconReference(node.icon);
        if (icon.empty()) {
            out += "null";
        } else {
            appendString(out, icon);
        }
        out += ",\"key\":";
        appendString(out, node.key);
        out += ",\"separator\":";
        out += node.separator ? "true" : "false";
        out += ",\"tag\":";
        out += std::to_string(node.tag);
        out += ",\"title\":";
        appendString(out, node.title);
        out += '}';
    }
    out += ']';
}

void printLevel(const MenuList& menu, std::ostream& out, int depth) {
    for (const MenuNode& node : menu) {
        out << std::string(static_cast<std::size_t>(depth) * 2, ' ');
        if (node.separator) {
            out << "---- " << node.title << "\n";
            continue;
        }
        out << node.title;
        if (node.tag != 0) {
            out << "  [" << node.tag << "]";
        }
        if (node.settingsAction) {
            out << "  [settings]";
        }
        out << "\n";
        if (node.children) {
            printLevel(*node.children, out, depth + 1);
        }
    }
}

}  // namespace

std::string menuJsonText(const MenuList& menu) {
    std::string out;
    out.reserve(8192);
    appendLevel(out, menu);
    return out;
}

void printMenu(const MenuList& menu, std::ostream& out) {
    printLevel(menu, out, 0);
}

const MenuNode* findTag(const MenuList& menu, std::int64_t tag) {
    for (const MenuNode& node : menu) {
        if (!node.separator && node.tag == tag && tag != 0) {
            return &node;
        }
        if (node.children) {
            if (const MenuNode* found = findTag(*node.children, tag)) {
                return found;
            }
        }
    }
    return nullptr;
}

bool menuHasTag(const MenuList& menu, std::int64_t tag) {
    return findTag(menu, tag) != nullptr;
}

}  // namespace tf

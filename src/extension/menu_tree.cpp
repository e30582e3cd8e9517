#include "extension/menu_tree.h"

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

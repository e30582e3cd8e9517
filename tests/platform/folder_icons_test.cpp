// The .directory side of custom folder icons: our Icon= line goes in and out, everything
// else in the file stays as it was.
#include "platform/folder_icons.h"

#include <gtest/gtest.h>

namespace tf {
namespace {

TEST(DirectoryFile, IconLineIsSetAndRemovedAlone) {
    struct Case {
        const char* name;
        std::string before;
        std::optional<std::string> icon;
        std::string after;
    };
    const Case cases[] = {
        {"new file", "", "/i.png", "[Desktop Entry]\nIcon=/i.png\n"},
        {"replaces ours", "[Desktop Entry]\nIcon=/old.png\nName=x\n", "/i.png",
         "[Desktop Entry]\nIcon=/i.png\nName=x\n"},
        {"keeps other groups", "[Dolphin]\nTimestamp=1\n", "/i.png",
         "[Dolphin]\nTimestamp=1\n\n[Desktop Entry]\nIcon=/i.png\n"},
        {"other group's Icon untouched", "[Other]\nIcon=theirs\n\n[Desktop Entry]\nIcon = /x\n",
         std::nullopt, "[Other]\nIcon=theirs\n"},
        {"removes only ours", "[Desktop Entry]\nComment=kept\nIcon=/i.png\n", std::nullopt,
         "[Desktop Entry]\nComment=kept\n"},
        {"empty group goes", "[Desktop Entry]\nIcon=/i.png\n\n[Dolphin]\nViewMode=1\n",
         std::nullopt, "[Dolphin]\nViewMode=1\n"},
        {"nothing left", "[Desktop Entry]\nIcon=/i.png\n", std::nullopt, ""},
        {"IconSize is not ours", "[Desktop Entry]\nIconSize=3\n", std::nullopt,
         "[Desktop Entry]\nIconSize=3\n"},
    };
    for (const Case& c : cases) {
        const std::string after = withDirectoryIcon(c.before, c.icon);
        EXPECT_EQ(after, c.after) << c.name;
        EXPECT_EQ(directoryIcon(after), c.icon) << c.name;
    }
}

}  // namespace
}  // namespace tf

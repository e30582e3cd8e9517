// "Extract Icon", "Folder Icon" and "Recover Icon": which icon an item gets, where the
// images go, what the folder carries afterwards, and the one report of failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "commands/images/icon_commands.h"
#include "engine/path_predicates.h"
#include "image_samples.h"
#include "images/rc_image.h"
#include "model/menu_manager.h"
#include "support/engine_fixture.h"
#include "util/strings.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;
using Pixel = std::array<std::uint8_t, 4>;

std::string squareSvg(const char* colour) {
    return std::string(R"(<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48">)") +
           R"(<rect width="48" height="48" fill=")" + colour + R"("/></svg>)";
}

class IconCommands : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        // A theme of our own, chosen the KDE way, so the lookup never sees the machine's.
        ::setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
        ::setenv("XDG_DATA_DIRS", (home() / "no-system-data").c_str(), 1);
        writeFile(home() / ".config/kdeglobals", "[Icons]\nTheme=Test\n");
        const fs::path theme = home() / ".local/share/icons/Test";
        writeFile(theme / "index.theme",
                  "[Icon Theme]\nName=Test\nDirectories=48x48/places,scalable/mimetypes\n\n"
                  "[48x48/places]\nSize=48\nType=Fixed\n\n"
                  "[scalable/mimetypes]\nSize=64\nType=Scalable\n");
        fs::create_directories(theme / "48x48/places");
        test::solidImage(48, 48, 0, 0, 255)
            .saveImageType(BitmapType::PNG, (theme / "48x48/places/folder.png").string());
        writeFile(theme / "scalable/mimetypes/text-x-generic.svg", squareSvg("#00ff00"));
    }
    void TearDown() override {
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("XDG_DATA_DIRS");
        EngineTest::TearDown();
    }

    static void writeFile(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    void invoke(CommandId id, const std::vector<std::string>& selection, RCMenuItem item = {}) {
        session();
        sync().setSelectedItemURLs(selection);
        CommandCall call;
        call.id = id;
        call.item = std::move(item);
        (*sync().commands().find(id))(sync(), call);
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    }

    static RCMenuItem folderIconEntry(const std::string& key) {
        RCMenuItem entry;
        entry.key = key;
        entry.icon = key;
        return entry;
    }
};

// The colour in the middle of a written 1024 x 1024 icon.
Pixel middleOf(const fs::path& png) {
    const auto image = RCImage::load(png.string());
    EXPECT_TRUE(image);
    if (!image)
        return {};
    EXPECT_EQ(image->width(), 1024);
    EXPECT_EQ(image->height(), 1024);
    return image->pixel(512, 512);
}

TEST_F(IconCommands, ExtractIconFindsTheIconTheDesktopShows) {
    const fs::path dir = home() / "work";
    writeFile(dir / "red.svg", squareSvg("#ff0000"));
    writeFile(dir / "Notes.desktop", "[Desktop Entry]\nType=Application\nName=Notes\nIcon=" +
                                         (dir / "red.svg").string() + "\n");
    writeFile(dir / "letter.txt", "Dear reader,\n");
    fs::create_directories(dir / "plain");
    fs::create_directories(dir / "custom");
    writeFile(dir / "custom/.directory", "[Desktop Entry]\nIcon=" + (dir / "red.svg").string());

    struct Case {
        std::string item;
        std::string written;
        Pixel colour;
    };
    const Case cases[] = {
        {"Notes.desktop", "Notes.png", {255, 0, 0, 255}},    // its Icon=
        {"Notes.desktop", "Notes-1.png", {255, 0, 0, 255}},  // numbered the second time
        {"letter.txt", "letter.png", {0, 255, 0, 255}},      // the theme's, for its type
        {"plain", "plain.png", {0, 0, 255, 255}},            // a bitmap, resampled
        {"custom", "custom.png", {255, 0, 0, 255}},          // the folder's custom icon
    };
    for (const Case& c : cases) {
        invoke(CommandId::ExtractIcon, {(dir / c.item).string()});
        EXPECT_EQ(middleOf(dir / c.written), c.colour) << c.written;
    }
    EXPECT_TRUE(transcriptOf("alert").empty());
}

TEST_F(IconCommands, FolderIconIsSetOnEveryFolderAndRecovered) {
    const fs::path a = home() / "a";
    const fs::path b = home() / "b";
    fs::create_directories(a);
    fs::create_directories(b);
    writeFile(b / ".directory", "[Desktop Entry]\nComment=kept\n\n[Other]\nIcon=theirs\n");

    invoke(CommandId::SetFolderIcon, {a.string(), b.string()}, folderIconEntry("java"));
    const fs::path stored =
        fs::path(RCMenuManager::sharedInstance().folderIconFolder()) / "java.svg";
    EXPECT_TRUE(fs::exists(stored));
    for (const fs::path& folder : {a, b}) {
        EXPECT_TRUE(hasCustomIcon(folder.string())) << folder;
        EXPECT_NE(readFile(folder / ".directory").find("Icon=" + stored.string()),
                  std::string::npos);
    }
    // The same picture again is stored once.
    invoke(CommandId::SetFolderIcon, {a.string()}, folderIconEntry("java"));
    EXPECT_EQ(std::distance(fs::directory_iterator(stored.parent_path()), fs::directory_iterator()),
              1);

    RCMenuItem recover = RCMenuItem::builtIn(MenuKey::RecoverIcon);
    invoke(CommandId::SetFolderIcon, {a.string(), b.string(), (home() / "c").string()}, recover);
    EXPECT_FALSE(hasCustomIcon(a.string()));
    EXPECT_FALSE(hasCustomIcon(b.string()));
    EXPECT_FALSE(fs::exists(a / ".directory"));  // ours alone: gone
    EXPECT_EQ(readFile(b / ".directory"),
              "[Desktop Entry]\nComment=kept\n\n[Other]\nIcon=theirs\n");
    // A folder that never had one is left alone and is not a failure.
    EXPECT_TRUE(transcriptOf("alert").empty());
}

TEST_F(IconCommands, FailuresAreReportedOnceForTheCommand) {
    const fs::path missing1 = home() / "gone1";
    const fs::path missing2 = home() / "gone2";
    invoke(CommandId::SetFolderIcon, {missing1.string(), missing2.string()},
           folderIconEntry("java"));
    const auto alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]["informative"], localizedFormat("Folder Icon Fail Tip", {"gone1, gone2"}));
}

}  // namespace
}  // namespace tf::test

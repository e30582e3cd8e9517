// "Convert to" through the menu: which files are candidates, where results go (never over an
// existing file), PDF splits with progress, merges, and what the user is told on failure.
#include "commands/images/convert_commands.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "cli/sync_cli.h"
#include "images/image_samples.h"
#include "images/pdf_tools.h"
#include "support/engine_fixture.h"
#include "util/strings.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

// Every file below the folder (relative path -> contents).
std::map<std::string, std::string> filesBelow(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).string()] = readFile(entry.path());
        }
    }
    return files;
}

void writeImage(const fs::path& path, const std::string& type, int width = 16, int height = 16) {
    ASSERT_TRUE(solidImage(width, height, 10, 120, 200).saveImageWithExt(type, path.string()));
}

// A folder nothing can be created in, even by root; false where the file system cannot.
bool makeImmutable(const fs::path& folder, bool on) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    if (!done && ::geteuid() != 0) {
        fs::permissions(folder,
                        on ? fs::perms::owner_read | fs::perms::owner_exec : fs::perms::owner_all);
        done = true;
    }
    return done;
}

class ConvertCommands : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        setMainList({{{"key", "Convert to"}}});
    }
    // Chooses the target in the "Convert to" submenu for the selection and waits for the end.
    void convert(const std::vector<fs::path>& items, const std::string& key) {
        std::vector<std::string> selection;
        for (const fs::path& item : items) {
            selection.push_back(item.string());
        }
        const MenuList menu =
            menuFor(MenuKind::Items, selection, items.front().parent_path().string());
        const MenuNode* parent = nodeWithKey(menu, "Convert to");
        ASSERT_NE(parent, nullptr);
        ASSERT_TRUE(parent->children);
        const MenuNode* child = nodeWithKey(*parent->children, key);
        ASSERT_NE(child, nullptr) << key;
        ASSERT_TRUE(sync().activate(sync().menuId(), child->tag));
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(60)));
        EXPECT_EQ(sync().loadingCount(), 0);
        const auto progress = transcriptOf("progress");
        ASSERT_GE(progress.size(), 2u);
        EXPECT_EQ(progress.back()["step"], "close");
    }
    // The files the command added; every file that was there before must be unchanged.
    std::set<std::string> addedBy(const std::function<void()>& run) {
        const std::map<std::string, std::string> before = filesBelow(files().path());
        run();
        std::set<std::string> added;
        const std::map<std::string, std::string> after = filesBelow(files().path());
        for (const auto& [name, contents] : after) {
            const auto old = before.find(name);
            if (old == before.end()) {
                added.insert(name);
            } else {
                EXPECT_EQ(contents, old->second) << name << " was replaced";
            }
        }
        return added;
    }
};

TEST_F(ConvertCommands, CandidatesAndDestinations) {
    struct Case {
        const char* title;
        // name, then an image type, "text" or "kept" (text that is not selected)
        std::vector<std::pair<std::string, std::string>> files;
        std::string key;
        std::set<std::string> added;
    };
    const Case cases[] = {
        // A HEIC is not in the list, even when it could be decoded.
        {"heic and png to JPEG",
         {{"scan.png", "png"}, {"photo.heic", "png"}},
         "JPEG",
         {"scan.jpg"}},
        {"extension case matters", {{"scan.png", "png"}, {"shot.PNG", "png"}}, "GIF", {"scan.gif"}},
        {"own source kept", {{"photo.jpg", "jpg"}}, "JPEG", {"photo-1.jpg"}},
        // The menu offers "PNG" when the first item is not a PNG.
        {"own source kept (PNG)",
         {{"x.jpg", "jpg"}, {"scan.png", "png"}},
         "PNG",
         {"x.png", "scan-1.png"}},
        {"other file kept", {{"a.png", "png"}, {"a.tiff", "kept"}}, "TIFF", {"a-1.tiff"}},
        {"undecodable skipped", {{"notes.rp", "text"}, {"b.bmp", "bmp"}}, "JP2", {"b.jp2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        for (const fs::directory_entry& entry : fs::directory_iterator(files().path())) {
            fs::remove_all(entry.path());
        }
        std::vector<fs::path> selection;
        for (const auto& [name, type] : c.files) {
            if (type == "kept") {
                files().write(name, "plain text");
                continue;
            }
            selection.push_back(files().path() / name);
            if (type == "text") {
                files().write(name, "plain text");
            } else {
                writeImage(selection.back(), type);
            }
        }
        session();
        EXPECT_EQ(addedBy([&] { convert(selection, c.key); }), c.added);
        EXPECT_TRUE(transcriptOf("alert").empty());
    }
}

TEST_F(ConvertCommands, PdfSplitsWithProgressAndMergesTheSelection) {
    std::vector<std::string> parts;
    for (int i = 0; i < 3; ++i) {
        const fs::path part = files().path() / ("p" + std::to_string(i) + ".png");
        writeImage(part, "png", 30, 20);
        parts.push_back(part.string());
    }
    const std::optional<std::string> merged = mergeToPDF(parts);
    ASSERT_TRUE(merged);
    const fs::path doc = files().path() / "doc.pdf";
    fs::rename(*merged, doc);

    session();
    EXPECT_EQ(addedBy([&] { convert({doc}, "PNG"); }),
              (std::set<std::string>{"doc/1.png", "doc/2.png", "doc/3.png"}));
    std::vector<std::string> percents;
    for (const auto& line : transcriptOf("progress")) {
        if (line["step"] == "percent") {
            percents.push_back(line["text"]);
        }
    }
    EXPECT_EQ(percents, (std::vector<std::string>{"33.3%", "66.7%", "100.0%"}));
    EXPECT_EQ(addedBy([&] { convert({doc}, "BMP"); }),
              (std::set<std::string>{"doc-1/1.bmp", "doc-1/2.bmp", "doc-1/3.bmp"}));

    // Two images: one document named after the "Untitled" text.
    EXPECT_EQ(addedBy([&] {
                  convert({parts[0], parts[1]}, "PDF");
              }),
              (std::set<std::string>{localized("Untitled") + ".pdf"}));
    EXPECT_TRUE(transcriptOf("alert").empty());
}

TEST_F(ConvertCommands, FailuresAreReportedPerFileAndIconSetsOnce) {
    const fs::path wide = files().path() / "wide.png";
    writeImage(wide, "png", 30, 20);
    session();
    EXPECT_TRUE(addedBy([&] { convert({wide}, "iOS AppIconset"); }).empty());
    auto alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]["informative"],
              localizedFormat("Convert Icns image invalid", {"30", "20"}));

    // A cut-off file fails rather than becoming a picture with a grey end.
    const fs::path cut = files().path() / "cut.png";
    writeImage(cut, "png", 300, 300);
    fs::resize_file(cut, fs::file_size(cut) / 2);
    EXPECT_TRUE(addedBy([&] { convert({cut}, "JPEG"); }).empty());
    ASSERT_EQ(transcriptOf("alert").size(), 2u);
    EXPECT_EQ(transcriptOf("alert")[1]["message"], localized("Convert Fail"));

    const fs::path locked = files().mkdir("locked");
    writeImage(locked / "a.png", "png");
    writeImage(locked / "b.png", "png");
    if (!makeImmutable(locked, true)) {
        GTEST_SKIP() << "this file system cannot lock a folder";
    }
    // The folder cannot be written, so the permission gate asks for it first.
    session({{{"folder", locked.string()}}});
    convert({locked / "a.png", locked / "b.png"}, "GIF");
    session({{{"folder", locked.string()}}});
    convert({locked / "a.png", locked / "b.png"}, "Android AppIconset");
    makeImmutable(locked, false);
    alerts.clear();
    for (const auto& alert : transcriptOf("alert")) {
        if (alert["message"] == localized("Convert Fail")) {
            alerts.push_back(alert);
        }
    }
    // The square check's, the cut-off file's, one per file for GIF, one for the icon sets.
    ASSERT_EQ(alerts.size(), 5u);
    EXPECT_EQ(alerts[1]["informative"], localizedFormat("Failed Item Tip", {"cut.png"}));
    EXPECT_EQ(alerts[2]["informative"], localizedFormat("Failed Item Tip", {"a.png"}));
    EXPECT_EQ(alerts[3]["informative"], localizedFormat("Failed Item Tip", {"b.png"}));
    EXPECT_EQ(filesBelow(locked).size(), 2u);
}

TEST_F(ConvertCommands, CommandLine) {
    const fs::path photo = files().path() / "photo.jpg";
    writeImage(photo, "jpg");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {{"convert", "--to", "PNG", photo.string()}, 0, (files().path() / "photo.png").string()},
        {{"convert", "--to", "PNG", photo.string()}, 0, (files().path() / "photo-1.png").string()},
        {{"convert", "--to", "png", photo.string()}, 2, ""},
        {{"convert", "--to", "PNG"}, 2, ""},
        {{"convert", photo.string()}, 2, ""},
        {{"convert", "--to", "PNG", (files().path() / "missing.jpg").string()}, 2, ""},
        {{"convert", "--to", "PNG", files().write("notes.txt", "x").string()}, 1, ""},
    };
    for (const Case& c : cases) {
        const CliResult result = runCli(&runSyncCommand, c.args);
        EXPECT_EQ(result.status, c.status) << c.args.back();
        EXPECT_EQ(result.out, c.out.empty() ? "" : c.out + "\n") << c.args.back();
        if (c.status != 0) {
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        }
    }
}

}  // namespace
}  // namespace tf::test

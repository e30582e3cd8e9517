#include "util/resources.h"

#include <sys/stat.h>

#include <cstdlib>
#include <optional>

#include "support/sandbox.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Points TRACKFOLIO_DATA_DIR somewhere for one test, so the checks below read the data folder
// of this source tree whatever the environment of the test run says.
class DataDirOverride {
  public:
    explicit DataDirOverride(const std::string& value) {
        if (const char* old = std::getenv("TRACKFOLIO_DATA_DIR"))
            old_ = old;
        ::setenv("TRACKFOLIO_DATA_DIR", value.c_str(), 1);
    }
    ~DataDirOverride() {
        if (old_) {
            ::setenv("TRACKFOLIO_DATA_DIR", old_->c_str(), 1);
        } else {
            ::unsetenv("TRACKFOLIO_DATA_DIR");
        }
    }

  private:
    std::optional<std::string> old_;
};

const std::vector<std::string> kRequiredNames = {
    // menu entries
    "newfile", "favorites", "app", "script", "foldericon", "execute", "airdrop", "desktop_pic",
    "copy", "move", "convert", "cut", "lock", "compress", "embed", "unembed", "colorpicker", "img",
    "fileinfo", "terminal", "iterm2", "copypath", "delete", "hidefile", "showfile", "about",
    // template types
    "txt", "rtf", "json", "docx", "xlsx", "pptx", "pages", "numbers", "key", "md", "wps", "et",
    "dps", "html", "xml", "css", "js", "py", "sh", "pdf", "png", "jpg", "zip", "csv",
    // applications
    "weixin", "vscode", "sublime", "studio", "idea", "webstorm", "pycharm", "phpstorm", "goland",
    "warp", "emacs",
    // folder-icon images
    "love", "google", "java", "qq", "zapier", "pyq", "html5", "twitter", "ding", "skype", "apple",
    "share", "wechat", "weibo", "youtube", "wepay", "react", "erji", "question", "star",
    // script kinds
    "shell", "python", "applescript",
    // images set while building menus
    "paste", "unlock", "recover", "choose", "set", "add", "showfinder", "more",
    // types and the product
    "folder", "file", "icon", "trackfolio"};

TEST(ImageResources, EveryNameInUseResolves) {
    for (const std::string& name : kRequiredNames) {
        EXPECT_TRUE(hasImageResource(name)) << name;
        EXPECT_FALSE(imageResourceIcon(name).empty()) << name;
    }
}

TEST(ImageResources, UnknownNamesHaveNoImage) {
    EXPECT_FALSE(hasImageResource("no such image"));
    EXPECT_EQ(imageResourceIcon("no such image"), "");
    EXPECT_EQ(imageResourceIcon(""), "");
    EXPECT_EQ(imageResourceIcon("DOCX"), "");  // callers pass lower-case extensions
}

TEST(ImageResources, ThemeNamesAreBareAndOwnImagesAreAbsoluteSvgPaths) {
    DataDirOverride data(TRACKFOLIO_SOURCE_DATA_DIR);
    EXPECT_EQ(imageResourceIcon("copy"), "edit-copy");
    EXPECT_EQ(imageResourceIcon("folder"), "folder");
    EXPECT_EQ(fs::path(imageResourceIcon("trackfolio")),
              fs::path(TRACKFOLIO_SOURCE_DATA_DIR) / "icons" / "trackfolio.svg");
}

TEST(ImageResources, OwnSvgFilesExistAndAreWellFormed) {
    DataDirOverride data(TRACKFOLIO_SOURCE_DATA_DIR);
    int svgCount = 0;
    for (const std::string& name : imageResourceNames()) {
        std::string icon = imageResourceIcon(name);
        ASSERT_FALSE(icon.empty()) << name;
        if (icon.front() != '/') {
            EXPECT_EQ(icon.find_first_of("/ ."), std::string::npos) << name << ": " << icon;
            continue;
        }
        ++svgCount;
        ASSERT_TRUE(fs::is_regular_file(icon)) << name << ": " << icon;
        std::string text = test::readFile(icon);
        EXPECT_TRUE(text.starts_with("<svg") || text.starts_with("<?xml")) << icon;
        EXPECT_NE(text.find("</svg>"), std::string::npos) << icon;
        EXPECT_NE(text.find("viewBox=\"0 0 64 64\""), std::string::npos) << icon;
        EXPECT_LT(text.size(), 1500u) << icon;
        EXPECT_TRUE(looksLikeImageFile(icon)) << icon;
    }
    EXPECT_GT(svgCount, 0);
}

TEST(DataFolder, EnvironmentWinsAndOtherwiseAFolderIsFound) {
    {
        DataDirOverride data("/opt/elsewhere/data");
        EXPECT_EQ(dataFolder(), fs::path("/opt/elsewhere/data"));
        EXPECT_EQ(fs::path(imageResourceIcon("qq")), fs::path("/opt/elsewhere/data/icons/qq.svg"));
    }
    DataDirOverride empty("");
    fs::path folder = dataFolder();
    EXPECT_TRUE(folder.is_absolute()) << folder;
    EXPECT_TRUE(fs::is_directory(folder / "icons")) << folder;
}

TEST(LooksLikeImageFile, RecognisesImageSignatures) {
    TempDir dir;
    using namespace std::string_literals;
    const std::vector<std::pair<std::string, std::string>> images = {
        {"a.png", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s},
        {"a.jpg", "\xFF\xD8\xFF\xE0\0\x10JFIF"s},
        {"a.gif", "GIF89a\1\0\1\0"s},
        {"old.gif", "GIF87a"s},
        {"le.tif", "II*\0\x08\0\0\0"s},
        {"be.tif", "MM\0*\0\0\0\x08"s},
        {"a.bmp", "BM\x36\0\0\0"s},
        {"a.webp", "RIFF\x24\0\0\0WEBPVP8 "s},
        {"a.ico", "\0\0\1\0\1\0"s},
        {"a.icns", "icns\0\0\x10\0"s},
        {"a.pdf", "%PDF-1.7\n"s},
        {"a.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>"s},
        {"b.svg", "\xEF\xBB\xBF\n  <?xml version=\"1.0\"?><svg/>"s},
        {"no-extension", "\x89PNG\r\n\x1A\n"s},
    };
    for (const auto& [name, bytes] : images) {
        EXPECT_TRUE(looksLikeImageFile(dir.write(name, bytes))) << name;
    }
}

TEST(LooksLikeImageFile, RejectsOtherFilesFoldersAndMissingPaths) {
    TempDir dir;
    using namespace std::string_literals;
    EXPECT_FALSE(looksLikeImageFile(dir.write("notes.png", "just some text")));
    EXPECT_FALSE(looksLikeImageFile(dir.write("empty.png")));
    EXPECT_FALSE(looksLikeImageFile(dir.write("short.png", "\x89PN")));
    EXPECT_FALSE(looksLikeImageFile(dir.write("wave.webp", "RIFF\x24\0\0\0WAVEfmt "s)));
    EXPECT_FALSE(looksLikeImageFile(dir.write("page.html", "<html><svg/></html>")));
    EXPECT_FALSE(looksLikeImageFile(dir.mkdir("folder.png")));
    EXPECT_FALSE(looksLikeImageFile(dir.path() / "missing.png"));
    // A FIFO with no writer must be answered at once, not waited on.
    fs::path fifo = dir.path() / "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(looksLikeImageFile(fifo));
}

}  // namespace
}  // namespace tf

#include "images/icon_sets.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "image_samples.h"
#include "support/sandbox.h"
#include "support/spawn.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using Status = IconSetResult::Status;

const fs::path kGolden = fs::path(TRACKFOLIO_TEST_ASSETS) / "golden";

// Width and height from a PNG's header.
std::pair<int, int> pngSize(const std::string& bytes) {
    const auto word = [&](std::size_t at) {
        int value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = value * 256 + static_cast<unsigned char>(bytes.at(at + i));
        return value;
    };
    return {word(16), word(20)};
}

// Runs a program and returns its exit status and standard output.
std::pair<int, std::string> run(const std::vector<std::string>& argv) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {-1, {}};
    const pid_t pid = test::spawnProgram(argv, pipeFds[1]);
    close(pipeFds[1]);
    std::string out;
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(got));
    close(pipeFds[0]);
    int status = -1;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return {-1, out};
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::vector<std::string> sortedNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One transcript per set: every file with its pixel size, then Contents.json.
std::string transcript(const fs::path& set) {
    std::string text;
    for (const auto& name : sortedNames(set)) {
        if (name == "Contents.json")
            continue;
        const auto [w, h] = pngSize(test::readFile(set / name));
        text += name + " " + std::to_string(w) + "x" + std::to_string(h) + "\n";
    }
    return text + test::readFile(set / "Contents.json");
}

void expectGolden(const std::string& actual, const std::string& name) {
    const fs::path path = kGolden / name;
    if (std::getenv("TRACKFOLIO_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    EXPECT_EQ(actual, test::readFile(path)) << name << " (TRACKFOLIO_UPDATE_GOLDEN=1 rewrites it)";
}

class IconSetTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    const RCImage square = test::solidImage(1024, 1024, 10, 120, 200);
    std::string base() const { return (dir.path() / "photo").string(); }
};

TEST_F(IconSetTest, EverySetMatchesItsTranscript) {
    const std::tuple<IconSetType, const char*, std::size_t, const char*> cases[] = {
        {IconSetType::OSX, "(OSX)", 8, "macos"},
        {IconSetType::IOS, "(iOS)", 18, "ios"},
        {IconSetType::IWatch, "(iWatch)", 8, "watchos"},
        {IconSetType::Android, "(Android)", 4, "android"},
    };
    for (const auto& [type, suffix, count, golden] : cases) {
        const IconSetResult result = createIconToPath(square, base(), type);
        ASSERT_EQ(result.status, Status::Written) << suffix;
        EXPECT_EQ(result.path, base() + suffix);
        const fs::path set = fs::path(result.path) / "AppIcon.appiconset";
        EXPECT_EQ(sortedNames(set).size(), count + 1) << suffix;
        EXPECT_EQ(sortedNames(result.path), std::vector<std::string>{"AppIcon.appiconset"});
        expectGolden(transcript(set), std::string("icon-set-") + golden + ".txt");
    }
}

TEST_F(IconSetTest, SecondSetIsNumberedAndSmallSourcesGrow) {
    const RCImage small = test::solidImage(40, 40, 255, 0, 0);
    EXPECT_EQ(createIconToPath(small, base(), IconSetType::IOS).path, base() + "(iOS)");
    EXPECT_EQ(createIconToPath(small, base(), IconSetType::IOS).path, base() + "(iOS)-1");
    const fs::path store = base() + "(iOS)-1/AppIcon.appiconset/store_1024x1024.png";
    EXPECT_EQ(pngSize(test::readFile(store)), std::pair(1024, 1024));
    const auto loaded = RCImage::load(store.string());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->pixel(512, 512), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));
}

TEST_F(IconSetTest, APngFileOfTheLargestSizeIsKeptAsItIsAndTheRestResampled) {
    // A file no encoder of ours writes: a text chunk before the end.
    const fs::path source = dir.path() / "source.png";
    ASSERT_TRUE(square.saveImageWithExt("png", source.string()));
    std::string bytes = test::readFile(source);
    const std::string chunk = std::string("tEXt") + "Comment" + '\0' + "drawn by hand";
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()));
    std::string text;
    for (const auto value : {static_cast<uLong>(chunk.size() - 4), crc})
        for (int shift = 24; shift >= 0; shift -= 8)
            text += static_cast<char>((value >> shift) & 0xff);
    bytes.insert(bytes.size() - 12, text.substr(0, 4) + chunk + text.substr(4));
    std::ofstream(source, std::ios::binary | std::ios::trunc) << bytes;
    const auto loaded = RCImage::load(source.string());
    ASSERT_TRUE(loaded);
    ASSERT_EQ(createIconToPath(*loaded, base(), IconSetType::OSX).status, Status::Written);
    const fs::path set = base() + "(OSX)/AppIcon.appiconset";
    EXPECT_EQ(test::readFile(set / "icon_512x512@2x.png"), test::readFile(source));
    EXPECT_EQ(pngSize(test::readFile(set / "icon_512x512.png")), std::pair(512, 512));

    // Loaded from a file of another size, or made in memory: encoded as before.
    const RCImage made = loaded->imageWithSize(1024, 1024);
    ASSERT_EQ(createIconToPath(made, base(), IconSetType::OSX).status, Status::Written);
    EXPECT_EQ(pngSize(test::readFile(base() + "(OSX)-1/AppIcon.appiconset/icon_512x512@2x.png")),
              std::pair(1024, 1024));
}

TEST_F(IconSetTest, NonSquareWritesNothingAndGivesBothNumbers) {
    for (const auto type : {IconSetType::Icns, IconSetType::IOS}) {
        const IconSetResult result =
            createIconToPath(test::solidImage(1000, 800, 0, 0, 0), base(), type);
        EXPECT_EQ(result.status, Status::NotSquare);
        EXPECT_EQ(result.width, 1000);
        EXPECT_EQ(result.height, 800);
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// A file-size limit makes the large images fail to write, even for root.
TEST_F(IconSetTest, FailedWriteRemovesTheHalfMadeSet) {
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    // Noise so no PNG compresses below the limit.
    std::string pixels(64 * 64 * 4, '\0');
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<char>((i * 7919u) ^ (i >> 3));
    const RCImage noisy = RCImage::fromRGBA(64, 64, pixels);
    const IconSetResult set = createIconToPath(noisy, base(), IconSetType::Android);
    const IconSetResult icns = createIconToPath(noisy, base(), IconSetType::Icns);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(set.status, Status::WriteFailed);
    EXPECT_EQ(icns.status, Status::WriteFailed);
    EXPECT_TRUE(fs::is_empty(dir.path())) << sortedNames(dir.path()).front();
}

TEST_F(IconSetTest, IcnsFileOpensInAnIndependentReader) {
    dir.write("AppIcon.icns", "someone else's");
    const IconSetResult result = createIconToPath(square, base(), IconSetType::Icns);
    ASSERT_EQ(result.status, Status::Written);
    EXPECT_EQ(result.path, (dir.path() / "AppIcon-1.icns").string());
    EXPECT_EQ(sortedNames(dir.path()),
              (std::vector<std::string>{"AppIcon-1.icns", "AppIcon.icns"}));
    if (run({"/usr/bin/python3", "-c", "import PIL.IcnsImagePlugin"}).first != 0)
        GTEST_SKIP() << "python3 with Pillow is not installed";
    const std::string script =
        "import sys\n"
        "from PIL import IcnsImagePlugin\n"
        "f = open(sys.argv[1], 'rb')\n"
        "icns = IcnsImagePlugin.IcnsFile(f)\n"
        "for size in sorted(icns.itersizes()):\n"
        "    im = icns.getimage(size)\n"
        "    print(size, im.size, im.mode)\n";
    const auto [status, out] = run({"/usr/bin/python3", "-c", script, result.path});
    ASSERT_EQ(status, 0);
    EXPECT_EQ(out,
              "(16, 16, 1) (16, 16) RGBA\n"
              "(16, 16, 2) (32, 32) RGBA\n"
              "(128, 128, 1) (128, 128) RGBA\n"
              "(128, 128, 2) (256, 256) RGBA\n"
              "(256, 256, 1) (256, 256) RGBA\n"
              "(256, 256, 2) (512, 512) RGBA\n"
              "(512, 512, 1) (512, 512) RGBA\n"
              "(512, 512, 2) (1024, 1024) RGBA\n");
}

TEST(IconSetContents, NamesThatAreNotIconsAreSkipped) {
    const std::string json = iconSetContentsJson(
        IconSetType::OSX, {".hidden_1x1.png", "plain.png", "a_b_c.png", "icon_16x16.png"});
    EXPECT_EQ(json,
              "{\n  \"images\": [\n    {\n      \"size\": \"16x16\",\n"
              "      \"filename\": \"icon_16x16.png\",\n      \"idiom\": \"mac\",\n"
              "      \"scale\": \"1x\"\n    }\n  ],\n"
              "  \"info\": {\n    \"version\": 1,\n    \"author\": \"xcode\"\n  }\n}\n");
}

}  // namespace
}  // namespace tf

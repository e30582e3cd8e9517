#include "images/rc_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "image_samples.h"
#include "support/sandbox.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using Pixel = std::array<std::uint8_t, 4>;
using test::solidImage;

// A black square glyph in the middle of a transparent 8 x 8 image.
RCImage glyph() {
    std::string pixels(8 * 8 * 4, '\0');
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x)
            pixels[static_cast<std::size_t>((y * 8 + x) * 4 + 3)] = static_cast<char>(255);
    return RCImage::fromRGBA(8, 8, pixels);
}

TEST(RCImageTest, ExtensionChoosesTheFileType) {
    const std::pair<const char*, BitmapType> cases[] = {
        {"jpeg", BitmapType::JPEG}, {"jpg", BitmapType::JPEG},     {"bmp", BitmapType::BMP},
        {"tiff", BitmapType::TIFF}, {"jp2", BitmapType::JPEG2000}, {"gif", BitmapType::GIF},
        {"png", BitmapType::PNG},   {"tif", BitmapType::PNG},      {"JPG", BitmapType::PNG},
        {"", BitmapType::PNG},
    };
    for (const auto& [extension, type] : cases)
        EXPECT_EQ(bitmapTypeForExtension(extension), type) << extension;
}

// Every type is written in its own format and reads back at the same size.
TEST(RCImageTest, SavesEachTypeAndReadsItBack) {
    test::TempDir dir;
    const RCImage image = solidImage(20, 10, 200, 30, 40);
    const std::pair<const char*, std::string> cases[] = {
        {"png", "\x89PNG"}, {"jpg", "\xff\xd8\xff"}, {"tiff", "II*"},
        {"gif", "GIF8"},    {"bmp", "BM"},           {"jp2", std::string("\0\0\0\x0cjP", 6)},
    };
    for (const auto& [extension, magic] : cases) {
        const std::string path = (dir.path() / (std::string("out[1].") + extension)).string();
        ASSERT_TRUE(image.saveImageWithExt(extension, path)) << extension;
        EXPECT_EQ(test::readFile(path).substr(0, magic.size()), magic) << extension;
        const auto back = RCImage::load(path);
        ASSERT_TRUE(back) << extension;
        EXPECT_EQ(back->width(), 20) << extension;
        EXPECT_EQ(back->height(), 10) << extension;
    }
    // Nothing but the results: every temporary was renamed into place.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 6);
}

TEST(RCImageTest, FailuresLeaveNothingBehind) {
    test::TempDir dir;
    const auto text = dir.write("notes.png", "not an image");
    EXPECT_FALSE(RCImage::load(text.string()));
    EXPECT_FALSE(RCImage::load((dir.path() / "missing.png").string()));
    EXPECT_FALSE(RCImage().saveImageType(BitmapType::PNG, (dir.path() / "a.png").string()));
    EXPECT_FALSE(
        solidImage(4, 4, 0, 0, 0)
            .saveImageType(BitmapType::PNG, (dir.path() / "no-such-folder" / "a.png").string()));
    // A write that cannot land leaves what was there and no temporary.
    const auto kept = dir.write("kept.png/inside", "old");
    EXPECT_FALSE(solidImage(4, 4, 0, 0, 0)
                     .saveImageType(BitmapType::PNG, (dir.path() / "kept.png").string()));
    EXPECT_EQ(test::readFile(kept), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(RCImageTest, ResamplesToExactSizesWithoutDarkeningEdges) {
    const RCImage source = glyph().tintImage({1, 1, 1, 1});
    for (const auto& [w, h] : {std::pair{1024, 1024}, {3, 5}, {167, 167}, {1, 1}}) {
        const RCImage sized = source.imageWithSize(w, h);
        EXPECT_EQ(sized.width(), w);
        EXPECT_EQ(sized.height(), h);
    }
    // Premultiplied filtering: a white glyph on transparent stays white where it is drawn.
    const Pixel middle = source.imageWithSize(64, 64).pixel(32, 32);
    EXPECT_EQ(middle, (Pixel{255, 255, 255, 255}));
    const Pixel edge = source.imageWithSize(64, 64).pixel(16, 32);
    EXPECT_GT(edge[3], 0);
    EXPECT_GE(edge[0], 250);
    EXPECT_TRUE(RCImage().imageWithSize(4, 4).empty());
    EXPECT_TRUE(source.imageWithSize(0, 4).empty());
}

TEST(RCImageTest, TintKeepsCoverage) {
    const RCImage tinted = glyph().tintImage({1, 0, 0, 1});
    EXPECT_EQ(tinted.pixel(3, 3), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(tinted.pixel(0, 0)[3], 0);
    EXPECT_EQ(glyph().pixel(3, 3), (Pixel{0, 0, 0, 255}));  // the receiver is unchanged
    EXPECT_EQ(glyph().tintImage({0, 0, 1, 0.5}).pixel(3, 3), (Pixel{0, 0, 255, 128}));
    EXPECT_EQ(solidImage(2, 2, 9, 9, 9).tintImage({0, 1, 0, 1}).pixel(1, 1),
              (Pixel{0, 255, 0, 255}));
}

TEST(RCImageTest, MergeDrawsIntoTheRectangleOnly) {
    const RCImage base = solidImage(10, 10, 0, 0, 255);
    const RCImage red = solidImage(2, 2, 255, 0, 0);
    struct Case {
        ImageRect rect;
        Pixel inside;  // at (5, 5)
        Pixel corner;  // at (0, 0)
    };
    const Pixel blue{0, 0, 255, 255};
    const Pixel redPixel{255, 0, 0, 255};
    const Case cases[] = {
        {{4, 4, 4, 4}, redPixel, blue},   {{0, 0, 10, 10}, redPixel, redPixel},
        {{-5, -5, 6, 6}, blue, redPixel},  // clipped at the top left
        {{20, 20, 5, 5}, blue, blue},      // outside: unchanged
        {{-9, 0, 4, 4}, blue, blue},      {{2, 2, 0, 5}, blue, blue},
    };
    for (const auto& c : cases) {
        const RCImage merged = base.mergeImage(red, c.rect);
        EXPECT_EQ(merged.width(), 10);
        EXPECT_EQ(merged.height(), 10);
        EXPECT_EQ(merged.pixel(5, 5), c.inside) << c.rect.x;
        EXPECT_EQ(merged.pixel(0, 0), c.corner) << c.rect.x;
    }
    // A transparent part of the other image lets the receiver show through.
    const RCImage over = base.mergeImage(glyph().tintImage({1, 0, 0, 1}), {0, 0, 8, 8});
    EXPECT_EQ(over.pixel(0, 0), blue);
    EXPECT_EQ(over.pixel(3, 3), redPixel);
}

TEST(RCImageTest, LoadsVectorImagesAtTheRequestedSize) {
    test::TempDir dir;
    const auto svg =
        dir.write("icon.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">)"
                              R"(<rect x="0" y="0" width="8" height="16" fill="#00ff00"/></svg>)");
    const auto natural = RCImage::load(svg.string());
    ASSERT_TRUE(natural);
    EXPECT_EQ(natural->width(), 16);
    const auto large = RCImage::loadAtSize(svg.string(), 1024, 1024);
    ASSERT_TRUE(large);
    EXPECT_EQ(large->width(), 1024);
    EXPECT_EQ(large->height(), 1024);
    EXPECT_EQ(large->pixel(100, 500), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(large->pixel(900, 500)[3], 0);
}

}  // namespace
}  // namespace tf

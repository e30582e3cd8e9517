// Our PNG encoder: whatever it writes, libpng reads back to the very same pixels.
#include "images/png_writer.h"

#include <gtest/gtest.h>

#include <random>

#include <vips/vips8>

namespace tf {
namespace {

std::string noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        // Smooth ramps with noise, like photographs, so every filter branch sees real values.
        byte = static_cast<char>((&byte - bytes.data()) / 7 % 256 + random() % 16);
    }
    return bytes;
}

// vips' own sRGB profile: libpng drops a profile that does not parse.
std::string srgbProfile() {
    VipsBlob* blob = nullptr;
    if (vips_profile_load("srgb", &blob, nullptr) != 0) {
        return {};
    }
    std::size_t length = 0;
    const void* data = vips_blob_get(blob, &length);
    std::string profile(static_cast<const char*>(data), length);
    vips_area_unref(VIPS_AREA(blob));
    return profile;
}

TEST(PngWriter, ReadsBackToTheSamePixels) {
    ASSERT_EQ(VIPS_INIT("test_images"), 0);
    const std::string srgb = srgbProfile();
    ASSERT_FALSE(srgb.empty());
    struct Case {
        int width;
        int height;
        int bands;
    };
    // One pixel, odd sizes of each band count, and one large enough to be filtered in halves.
    const Case cases[] = {{1, 1, 3},   {7, 3, 1},  {5, 9, 2},
                          {33, 17, 3}, {31, 2, 4}, {2100, 1400, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" +
                     std::to_string(c.bands));
        const std::string pixels = noise(static_cast<std::size_t>(c.width * c.height * c.bands), 7);
        const std::string profile = c.bands == 3 ? srgb : std::string();
        const std::optional<std::string> png = encodePNG({.width = c.width,
                                                          .height = c.height,
                                                          .bands = c.bands,
                                                          .pixels = pixels,
                                                          .iccProfile = profile});
        ASSERT_TRUE(png);
        const vips::VImage back = vips::VImage::new_from_buffer(png->data(), png->size(), "");
        ASSERT_EQ(back.width(), c.width);
        ASSERT_EQ(back.height(), c.height);
        ASSERT_EQ(back.bands(), c.bands);
        std::size_t size = 0;
        void* memory = back.write_to_memory(&size);
        const std::string decoded(static_cast<const char*>(memory), size);
        g_free(memory);
        EXPECT_TRUE(decoded == pixels);
        if (!profile.empty()) {
            ASSERT_NE(back.get_typeof(VIPS_META_ICC_NAME), 0u);
            std::size_t length = 0;
            const void* blob = back.get_blob(VIPS_META_ICC_NAME, &length);
            EXPECT_EQ(std::string(static_cast<const char*>(blob), length), profile);
        }
    }
    EXPECT_FALSE(
        encodePNG({.width = 4, .height = 4, .bands = 3, .pixels = "short", .iccProfile = {}}));
    EXPECT_FALSE(
        encodePNG({.width = 1, .height = 1, .bands = 5, .pixels = "12345", .iccProfile = {}}));
}

}  // namespace
}  // namespace tf

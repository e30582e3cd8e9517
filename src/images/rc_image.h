// An image value over libvips: load, resample, tint, merge and encode. Copies share their
// pixels (images never change once made), so passing one around is cheap. libvips itself is
// in a module opened on first use (images/image_backend.h), so programs that never touch an
// image do not pay for loading it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tf {

// The file types an image is written as.
enum class BitmapType { JPEG, PNG, TIFF, JPEG2000, GIF, BMP, WebP };

// The file type for a lowercase extension: jpeg/jpg, bmp, tiff, jp2, gif; anything else PNG.
BitmapType bitmapTypeForExtension(std::string_view extension);

// A colour with components from 0 to 1.
struct RGBAColour {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
};

// A rectangle in pixels, origin at the top left of the image.
struct ImageRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

class RCImage {
  public:
    struct Impl;

    // How a loaded image will be read: once from top to bottom (one conversion; the decoder
    // streams and never holds the whole picture) or any number of times (resampling).
    enum class Access { Random, Sequential };

    // An empty image: zero by zero, saves nothing.
    RCImage() = default;
    explicit RCImage(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}

    // The first page or frame of an image file; nullopt when nothing here can decode it.
    // SVG is rendered at its own size; BMP and ICO go through ImageMagick's loader.
    static std::optional<RCImage> load(const std::string& path, Access access = Access::Random);
    // The file rendered or resampled to exactly width x height pixels (vector images are
    // rendered at that size rather than scaled up from their nominal one).
    static std::optional<RCImage> loadAtSize(const std::string& path, int width, int height);
    // 8-bit RGBA pixels, row by row (width * height * 4 bytes); empty on a size mismatch.
    static RCImage fromRGBA(int width, int height, std::string_view pixels);

    bool empty() const { return !impl_; }
    int width() const;
    int height() const;
    // One pixel as 8-bit sRGB with alpha (opaque when the image has none); zeros outside.
    std::array<std::uint8_t, 4> pixel(int x, int y) const;

    // Chooses the file type from the lowercase extension and saves (see saveImageType).
    bool saveImageWithExt(std::string_view extension, const std::string& path) const;
    // Encodes in the given type (lossy encoders at quality 0.85) and writes atomically: a
    // temporary beside the destination renamed over it, so a failed write leaves the old
    // file. False when encoding or writing fails.
    bool saveImageType(BitmapType type, const std::string& path) const;
    // The encoded file contents, or nullopt when encoding fails.
    std::optional<std::string> encoded(BitmapType type) const;

    // A copy resampled to exactly width x height pixels with a high-quality kernel (alpha
    // premultiplied while filtering); the aspect ratio is not kept.
    RCImage imageWithSize(int width, int height) const;
    // Every pixel takes the colour and keeps its own coverage: alpha = own alpha x colour
    // alpha.
    RCImage tintImage(const RGBAColour& colour) const;
    // This image with other stretched into rect and drawn over it; the same size as this
    // one. A rect outside this image leaves the picture as it is.
    RCImage mergeImage(const RCImage& other, const ImageRect& rect) const;

    // The file this image was loaded from as it is (empty for made or changed images).
    const std::string& sourcePath() const { return sourcePath_; }

  private:
    std::shared_ptr<const Impl> impl_;
    std::string sourcePath_;
};

}  // namespace tf

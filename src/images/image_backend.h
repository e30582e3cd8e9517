// The boundary between RCImage and libvips. libvips and what it loads (about a hundred
// shared libraries) would add some 50 to 100 ms to the start of every program linking it,
// so it lives in a module, libtrackfolio-images.so, opened the first time an image is
// needed. Code that needs vips itself adds a method here and implements it in the module.
// The few GIO calls of the icon commands go through it too (vips loads GIO anyway; the
// programs do not, which saves them about 5 ms at start).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "images/rc_image.h"

namespace tf {

// An image file as a PDF page takes it: a grey or RGB JPEG stays encoded (the file's bytes
// go into the page as they are), anything else is decoded to 8-bit RGB samples, with grey
// coverage samples when some pixel is not fully opaque.
struct PageImage {
    int width = 0;
    int height = 0;
    // 1 or 3 for a JPEG kept encoded; 0 when `rgb` holds the samples.
    int jpegComponents = 0;
    std::string rgb;
    std::string alpha;
};

class ImageBackend {
  public:
    using Image = std::shared_ptr<const RCImage::Impl>;
    using Impl = RCImage::Impl;

    virtual ~ImageBackend() = default;
    // Null results mean failure.
    virtual Image load(const std::string& path, bool sequential) const = 0;
    virtual Image loadAtSize(const std::string& path, int width, int height) const = 0;
    virtual Image fromRGBA(int width, int height, std::string_view pixels) const = 0;
    virtual int width(const Impl& image) const = 0;
    virtual int height(const Impl& image) const = 0;
    virtual std::array<std::uint8_t, 4> pixel(const Impl& image, int x, int y) const = 0;
    virtual bool save(const Impl& image, BitmapType type, const std::string& path) const = 0;
    virtual std::optional<std::string> encoded(const Impl& image, BitmapType type) const = 0;
    virtual Image resized(const Impl& image, int width, int height) const = 0;
    virtual Image tinted(const Impl& image, const RGBAColour& colour) const = 0;
    virtual Image merged(const Impl& image, const Impl* other, const ImageRect& rect) const = 0;

    // PDF pages through vips' PDF loader: the page count (0 when the file is not a readable
    // PDF), and one page (0-based) rendered at the resolution.
    virtual int pdfPageCount(const std::string& path) const = 0;
    virtual Image pdfPage(const std::string& path, int page, int dpi) const = 0;
    virtual std::optional<PageImage> pageImage(const std::string& path) const = 0;

    // GIO: the themed icon names of a file (symbolic ones left out) or the path of its file
    // icon, as the file managers get them.
    virtual std::vector<std::string> fileIconNames(const std::string& path) const = 0;
    // A string attribute such as "metadata::custom-icon"; nullopt when unset or unreadable.
    virtual std::optional<std::string> fileAttribute(const std::string& path,
                                                     const std::string& attribute) const = 0;
    // Sets the attribute, or removes it with nullopt; false when that failed.
    virtual bool setFileAttribute(const std::string& path, const std::string& attribute,
                                  const std::optional<std::string>& value) const = 0;
    // GNOME's icon theme setting, when its schema is installed.
    virtual std::optional<std::string> gnomeIconTheme() const = 0;
    // A file URI for a path and the path of a file URI.
    virtual std::optional<std::string> uriOfPath(const std::string& path) const = 0;
    virtual std::optional<std::string> pathOfUri(const std::string& uri) const = 0;
};

// The module's backend, opened once; null (with one line on standard error) when the module
// cannot be loaded, and every image operation then fails.
const ImageBackend* imageBackend();

}  // namespace tf

// The one symbol the module exports.
extern "C" const tf::ImageBackend* trackfolio_image_backend();

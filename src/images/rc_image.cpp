#include "images/rc_image.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

#include "images/png_writer.h"
#include "images/vips_image.h"
#include "util/path_text.h"

namespace tf {

using vips::VImage;

namespace {

RCImage wrap(VImage image) {
    return imageFromVips(std::move(image));
}

const VImage& vipsOf(const RCImage& image) {
    return image.impl()->image;
}

// 8-bit grey or RGB images, with or without alpha, go through our own PNG encoder (see
// png_writer.h); nothing for anything else.
std::optional<std::string> fastPNG(const VImage& image) {
    const VipsInterpretation kind = vips_image_guess_interpretation(image.get_image());
    if (image.format() != VIPS_FORMAT_UCHAR || image.bands() < 1 || image.bands() > 4 ||
        (kind != VIPS_INTERPRETATION_sRGB && kind != VIPS_INTERPRETATION_B_W) ||
        (kind == VIPS_INTERPRETATION_B_W && image.bands() > 2) ||
        (kind == VIPS_INTERPRETATION_sRGB && image.bands() < 3)) {
        return std::nullopt;
    }
    std::size_t size = 0;
    void* pixels = image.write_to_memory(&size);
    std::unique_ptr<void, decltype(&g_free)> owned(pixels, &g_free);
    PngPixels png{.width = image.width(),
                  .height = image.height(),
                  .bands = image.bands(),
                  .pixels = std::string_view(static_cast<const char*>(pixels), size),
                  .iccProfile = {}};
    const void* profile = nullptr;
    std::size_t profileSize = 0;
    if (image.get_typeof(VIPS_META_ICC_NAME) != 0 &&
        vips_image_get_blob(image.get_image(), VIPS_META_ICC_NAME, &profile, &profileSize) == 0) {
        png.iccProfile = std::string_view(static_cast<const char*>(profile), profileSize);
    }
    return encodePNG(png);
}

// Writes the image through the saver of the given type, into a file or into memory.
void saveTo(const VImage& source, BitmapType type, const char* path, std::string* memory) {
    VImage image = source;
    if (type == BitmapType::PNG) {
        if (std::optional<std::string> png = fastPNG(image)) {
            if (memory) {
                *memory = std::move(*png);
                return;
            }
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(png->data(), static_cast<std::streamsize>(png->size()));
            out.close();
            if (!out) {
                throw vips::VError("cannot write the PNG file");
            }
            return;
        }
    }
    auto* options = VImage::option();
    const char* saver = "pngsave";
    switch (type) {
        case BitmapType::JPEG:
            // JPEG has no transparency: transparent areas become white rather than black.
            if (image.has_alpha())
                image = image.flatten(VImage::option()->set("background", std::vector{255.0}));
            saver = "jpegsave";
            options->set("Q", 85);
            break;
        case BitmapType::JPEG2000:
            saver = "jp2ksave";
            options->set("Q", 85);
            break;
        case BitmapType::WebP:
            saver = "webpsave";
            options->set("Q", 85);
            break;
        case BitmapType::TIFF:
            saver = "tiffsave";
            break;
        case BitmapType::GIF:
            saver = "gifsave";
            break;
        case BitmapType::BMP:
            saver = "magicksave";
            options->set("format", "bmp");
            break;
        case BitmapType::PNG:
            // libpng's default of no filter gives files about twice the usual size; level 4
            // with the average filter is both smaller and faster than the usual tools.
            options->set("compression", 4);
            options->set("filter", VIPS_FOREIGN_PNG_FILTER_AVG);
            break;
    }
    if (memory) {
        VipsBlob* blob = nullptr;
        image.call((std::string(saver) + "_buffer").c_str(),
                   options->set("in", image)->set("buffer", &blob));
        std::size_t length = 0;
        const void* data = vips_blob_get(blob, &length);
        memory->assign(static_cast<const char*>(data), length);
        vips_area_unref(VIPS_AREA(blob));
    } else {
        image.call(saver, options->set("in", image)->set("filename", path));
    }
}

// A name beside the destination that no other writer uses.
std::string temporaryBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return childPath(deletingLastPathComponent(path),
                     "." + lastPathComponent(path) + ".tf-" + std::to_string(getpid()) + "-" +
                         std::to_string(counter.fetch_add(1)) + ".tmp");
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A loader that finds no header fails here rather than at the first pixel.
VImage checked(VImage image) {
    if (image.width() <= 0 || image.height() <= 0)
        throw vips::VError("empty image");
    return image;
}

}  // namespace

void ensureVipsStarted() {
    static std::once_flag once;
    std::call_once(once, [] {
        VIPS_INIT("trackfolio");
        // Loads are keyed by file name: a file rewritten between two loads must be read
        // again, so no operation results are kept.
        vips_cache_set_max(0);
    });
}

VImage toRGBA8(const VImage& source) {
    VImage image = source;
    const VipsInterpretation kind = vips_image_guess_interpretation(image.get_image());
    if (kind != VIPS_INTERPRETATION_sRGB || image.format() != VIPS_FORMAT_UCHAR)
        image = image.colourspace(VIPS_INTERPRETATION_sRGB);
    if (image.format() != VIPS_FORMAT_UCHAR)
        image = image.cast(VIPS_FORMAT_UCHAR);
    if (image.bands() == 3)
        image = image.bandjoin_const({255});
    else if (image.bands() > 4)
        image = image.extract_band(0, VImage::option()->set("n", 4));
    return image;
}

BitmapType bitmapTypeForExtension(std::string_view extension) {
    if (extension == "jpeg" || extension == "jpg")
        return BitmapType::JPEG;
    if (extension == "bmp")
        return BitmapType::BMP;
    if (extension == "tiff")
        return BitmapType::TIFF;
    if (extension == "jp2")
        return BitmapType::JPEG2000;
    if (extension == "gif")
        return BitmapType::GIF;
    return BitmapType::PNG;
}

std::optional<RCImage> RCImage::load(const std::string& path, Access access) {
    ensureVipsStarted();
    // A source opened by name: vips would read "[...]" in a file name as load options.
    try {
        auto source = vips::VSource::new_from_file(path.c_str());
        return wrap(checked(VImage::new_from_source(
            source, "",
            VImage::option()->set("access", access == Access::Sequential ? VIPS_ACCESS_SEQUENTIAL
                                                                         : VIPS_ACCESS_RANDOM))));
    } catch (const vips::VError&) {
    }
    // ImageMagick's loader (BMP, ICO, ...) reads only from memory here; the pixels are
    // copied out so the bytes can go.
    try {
        const auto bytes = readWholeFile(path);
        if (!bytes || bytes->empty())
            return std::nullopt;
        VImage image = VImage::new_from_buffer(bytes->data(), bytes->size(), "");
        return wrap(checked(image.copy_memory()));
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

std::optional<RCImage> RCImage::loadAtSize(const std::string& path, int width, int height) {
    ensureVipsStarted();
    if (width <= 0 || height <= 0)
        return std::nullopt;
    try {
        // The thumbnailer renders vector images at the requested size.
        auto source = vips::VSource::new_from_file(path.c_str());
        VImage image = VImage::thumbnail_source(
            source, width, VImage::option()->set("height", height)->set("size", VIPS_SIZE_FORCE));
        image = checked(image.copy_memory());
        RCImage result = wrap(image);
        if (image.width() != width || image.height() != height)
            return result.imageWithSize(width, height);
        return result;
    } catch (const vips::VError&) {
    }
    auto image = load(path);
    if (!image)
        return std::nullopt;
    RCImage sized = image->imageWithSize(width, height);
    if (sized.empty())
        return std::nullopt;
    return sized;
}

RCImage RCImage::fromRGBA(int width, int height, std::string_view pixels) {
    ensureVipsStarted();
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4)
        return {};
    VImage image = VImage::new_from_memory(const_cast<char*>(pixels.data()), pixels.size(), width,
                                           height, 4, VIPS_FORMAT_UCHAR)
                       .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    return wrap(image.copy_memory());
}

int RCImage::width() const {
    return impl_ ? impl_->image.width() : 0;
}

int RCImage::height() const {
    return impl_ ? impl_->image.height() : 0;
}

std::array<std::uint8_t, 4> RCImage::pixel(int x, int y) const {
    std::array<std::uint8_t, 4> result{};
    if (!impl_ || x < 0 || y < 0 || x >= width() || y >= height())
        return result;
    try {
        const VImage one = toRGBA8(impl_->image.crop(x, y, 1, 1));
        const std::vector<double> values = one.getpoint(0, 0);
        for (std::size_t i = 0; i < 4 && i < values.size(); ++i)
            result[i] = static_cast<std::uint8_t>(std::clamp(std::lround(values[i]), 0L, 255L));
    } catch (const vips::VError&) {
    }
    return result;
}

bool RCImage::saveImageWithExt(std::string_view extension, const std::string& path) const {
    return saveImageType(bitmapTypeForExtension(extension), path);
}

bool RCImage::saveImageType(BitmapType type, const std::string& path) const {
    if (!impl_)
        return false;
    const std::string temporary = temporaryBeside(path);
    try {
        saveTo(impl_->image, type, temporary.c_str(), nullptr);
        if (std::rename(temporary.c_str(), path.c_str()) == 0)
            return true;
    } catch (const vips::VError&) {
    }
    ::unlink(temporary.c_str());
    return false;
}

std::optional<std::string> RCImage::encoded(BitmapType type) const {
    if (!impl_)
        return std::nullopt;
    try {
        std::string bytes;
        saveTo(impl_->image, type, nullptr, &bytes);
        return bytes;
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

RCImage RCImage::imageWithSize(int width, int height) const {
    if (!impl_ || width <= 0 || height <= 0)
        return {};
    try {
        const VImage& source = impl_->image;
        VImage image = source;
        // Premultiplied, so transparent pixels lend no colour to their neighbours.
        const bool alpha = image.has_alpha();
        if (alpha)
            image = image.premultiply();
        const double hscale = static_cast<double>(width) / source.width();
        const double vscale = static_cast<double>(height) / source.height();
        image = image.resize(
            hscale, VImage::option()->set("vscale", vscale)->set("kernel", VIPS_KERNEL_LANCZOS3));
        if (alpha)
            image = image.unpremultiply();
        if (image.format() != source.format())
            image = image.round(VIPS_OPERATION_ROUND_RINT).cast(source.format());
        // The scale is rounded to whole pixels; pin the size the caller asked for.
        if (image.width() != width || image.height() != height)
            image =
                image.embed(0, 0, width, height, VImage::option()->set("extend", VIPS_EXTEND_COPY));
        // Made once here, so a chain of reductions never recomputes its ancestors.
        return wrap(image.copy_memory());
    } catch (const vips::VError&) {
        return {};
    }
}

RCImage RCImage::tintImage(const RGBAColour& colour) const {
    if (!impl_)
        return {};
    try {
        const VImage rgba = toRGBA8(impl_->image);
        const auto byte = [](double component) {
            return std::clamp(std::round(component * 255.0), 0.0, 255.0);
        };
        const VImage fill =
            rgba.extract_band(0, VImage::option()->set("n", 3))
                .new_from_image({byte(colour.red), byte(colour.green), byte(colour.blue)});
        const VImage alpha = (rgba.extract_band(3) * std::clamp(colour.alpha, 0.0, 1.0))
                                 .round(VIPS_OPERATION_ROUND_RINT);
        VImage tinted =
            fill.bandjoin(alpha)
                .cast(VIPS_FORMAT_UCHAR)
                .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
        return wrap(tinted.copy_memory());
    } catch (const vips::VError&) {
        return {};
    }
}

RCImage RCImage::mergeImage(const RCImage& other, const ImageRect& rect) const {
    if (!impl_)
        return {};
    const long x = std::lround(rect.x);
    const long y = std::lround(rect.y);
    const long w = std::lround(rect.width);
    const long h = std::lround(rect.height);
    const bool outside = other.empty() || w <= 0 || h <= 0 || x >= width() || y >= height() ||
                         x + w <= 0 || y + h <= 0;
    try {
        const VImage base = toRGBA8(impl_->image);
        if (outside)
            return wrap(base.copy_memory());
        const RCImage stretched = other.imageWithSize(static_cast<int>(w), static_cast<int>(h));
        if (stretched.empty())
            return wrap(base.copy_memory());
        VImage merged = base.composite2(
            toRGBA8(vipsOf(stretched)), VIPS_BLEND_MODE_OVER,
            VImage::option()->set("x", static_cast<int>(x))->set("y", static_cast<int>(y)));
        merged = merged.round(VIPS_OPERATION_ROUND_RINT).cast(VIPS_FORMAT_UCHAR);
        return wrap(merged.copy_memory());
    } catch (const vips::VError&) {
        return {};
    }
}

}  // namespace tf

// The libvips side of RCImage, built as the module libtrackfolio-images.so (see
// image_backend.h). Self-contained: it links only libvips and the C++ runtime.
#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

#include "images/image_backend.h"
#include "images/png_writer.h"
#include "images/vips_image.h"
#include "images/vips_pdf.h"

namespace tf {

using vips::VImage;

namespace {

using Image = ImageBackend::Image;

Image wrap(VImage image) {
    return std::make_shared<const RCImage::Impl>(RCImage::Impl{std::move(image)});
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
    const std::unique_ptr<void, decltype(&g_free)> owned(pixels, &g_free);
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
    const std::filesystem::path target(path);
    return (target.parent_path() /
            ("." + target.filename().string() + ".tf-" + std::to_string(getpid()) + "-" +
             std::to_string(counter.fetch_add(1)) + ".tmp"))
        .string();
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
        // A damaged file makes the decoders warn once per row: thousands of lines in the
        // menu service's log for one picture. The command reports the file itself.
        g_log_set_handler(
            "VIPS",
            static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                        G_LOG_LEVEL_INFO),
            [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
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

namespace {

Image loadImage(const std::string& path, bool sequential) {
    ensureVipsStarted();
    // A source opened by name: vips would read "[...]" in a file name as load options.
    try {
        auto source = vips::VSource::new_from_file(path.c_str());
        // A cut-off file is an error, not a picture with its missing part filled in grey.
        return wrap(checked(VImage::new_from_source(
            source, "",
            VImage::option()
                ->set("access", sequential ? VIPS_ACCESS_SEQUENTIAL : VIPS_ACCESS_RANDOM)
                ->set("fail_on", VIPS_FAIL_ON_TRUNCATED))));
    } catch (const vips::VError&) {
    }
    // ImageMagick's loader (BMP, ICO, ...) reads only from memory here; the pixels are
    // copied out so the bytes can go.
    try {
        const auto bytes = readWholeFile(path);
        if (!bytes || bytes->empty())
            return nullptr;
        VImage image = VImage::new_from_buffer(bytes->data(), bytes->size(), "");
        return wrap(checked(image.copy_memory()));
    } catch (const vips::VError&) {
        return nullptr;
    }
}

Image resize(const VImage& source, int width, int height) {
    if (width <= 0 || height <= 0)
        return nullptr;
    try {
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
        return nullptr;
    }
}

class VipsBackend final : public ImageBackend {
  public:
    Image load(const std::string& path, bool sequential) const override {
        return loadImage(path, sequential);
    }

    Image loadAtSize(const std::string& path, int width, int height) const override {
        ensureVipsStarted();
        if (width <= 0 || height <= 0)
            return nullptr;
        try {
            // The thumbnailer renders vector images at the requested size.
            auto source = vips::VSource::new_from_file(path.c_str());
            VImage image = VImage::thumbnail_source(
                source, width,
                VImage::option()->set("height", height)->set("size", VIPS_SIZE_FORCE));
            image = checked(image.copy_memory());
            if (image.width() != width || image.height() != height)
                return resize(image, width, height);
            return wrap(image);
        } catch (const vips::VError&) {
        }
        const Image image = loadImage(path, false);
        return image ? resize(image->image, width, height) : nullptr;
    }

    Image fromRGBA(int width, int height, std::string_view pixels) const override {
        ensureVipsStarted();
        if (width <= 0 || height <= 0 ||
            pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4)
            return nullptr;
        try {
            VImage image =
                VImage::new_from_memory(const_cast<char*>(pixels.data()), pixels.size(), width,
                                        height, 4, VIPS_FORMAT_UCHAR)
                    .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
            return wrap(image.copy_memory());
        } catch (const vips::VError&) {
            return nullptr;
        }
    }

    int width(const Impl& image) const override { return image.image.width(); }
    int height(const Impl& image) const override { return image.image.height(); }

    std::array<std::uint8_t, 4> pixel(const Impl& image, int x, int y) const override {
        std::array<std::uint8_t, 4> result{};
        if (x < 0 || y < 0 || x >= image.image.width() || y >= image.image.height())
            return result;
        try {
            const VImage one = toRGBA8(image.image.crop(x, y, 1, 1));
            const std::vector<double> values = one.getpoint(0, 0);
            for (std::size_t i = 0; i < 4 && i < values.size(); ++i)
                result[i] = static_cast<std::uint8_t>(std::clamp(std::lround(values[i]), 0L, 255L));
        } catch (const vips::VError&) {
        }
        return result;
    }

    bool save(const Impl& image, BitmapType type, const std::string& path) const override {
        const std::string temporary = temporaryBeside(path);
        try {
            saveTo(image.image, type, temporary.c_str(), nullptr);
            if (std::rename(temporary.c_str(), path.c_str()) == 0)
                return true;
        } catch (const vips::VError&) {
        }
        ::unlink(temporary.c_str());
        return false;
    }

    std::optional<std::string> encoded(const Impl& image, BitmapType type) const override {
        try {
            std::string bytes;
            saveTo(image.image, type, nullptr, &bytes);
            return bytes;
        } catch (const vips::VError&) {
            return std::nullopt;
        }
    }

    Image resized(const Impl& image, int width, int height) const override {
        return resize(image.image, width, height);
    }

    Image tinted(const Impl& image, const RGBAColour& colour) const override {
        try {
            const VImage rgba = toRGBA8(image.image);
            const auto byte = [](double component) {
                return std::clamp(std::round(component * 255.0), 0.0, 255.0);
            };
            const VImage fill =
                rgba.extract_band(0, VImage::option()->set("n", 3))
                    .new_from_image({byte(colour.red), byte(colour.green), byte(colour.blue)});
            const VImage alpha = (rgba.extract_band(3) * std::clamp(colour.alpha, 0.0, 1.0))
                                     .round(VIPS_OPERATION_ROUND_RINT);
            VImage result =
                fill.bandjoin(alpha)
                    .cast(VIPS_FORMAT_UCHAR)
                    .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
            return wrap(result.copy_memory());
        } catch (const vips::VError&) {
            return nullptr;
        }
    }

    Image merged(const Impl& image, const Impl* other, const ImageRect& rect) const override {
        const long x = std::lround(rect.x);
        const long y = std::lround(rect.y);
        const long w = std::lround(rect.width);
        const long h = std::lround(rect.height);
        const bool outside = !other || w <= 0 || h <= 0 || x >= image.image.width() ||
                             y >= image.image.height() || x + w <= 0 || y + h <= 0;
        try {
            const VImage base = toRGBA8(image.image);
            if (outside)
                return wrap(base.copy_memory());
            const Image stretched = resize(other->image, static_cast<int>(w), static_cast<int>(h));
            if (!stretched)
                return wrap(base.copy_memory());
            VImage result = base.composite2(
                toRGBA8(stretched->image), VIPS_BLEND_MODE_OVER,
                VImage::option()->set("x", static_cast<int>(x))->set("y", static_cast<int>(y)));
            result = result.round(VIPS_OPERATION_ROUND_RINT).cast(VIPS_FORMAT_UCHAR);
            return wrap(result.copy_memory());
        } catch (const vips::VError&) {
            return nullptr;
        }
    }

    int pdfPageCount(const std::string& path) const override { return vipsPdfPageCount(path); }
    Image pdfPage(const std::string& path, int page, int dpi) const override {
        return vipsPdfPage(path, page, dpi);
    }
    std::optional<PageImage> pageImage(const std::string& path) const override {
        return vipsPageImage(path);
    }

    std::vector<std::string> fileIconNames(const std::string& path) const override {
        std::vector<std::string> names;
        GFile* file = g_file_new_for_path(path.c_str());
        GFileInfo* info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_ICON,
                                            G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
        GIcon* icon = info ? g_file_info_get_icon(info) : nullptr;
        if (icon && G_IS_THEMED_ICON(icon)) {
            for (const char* const* name = g_themed_icon_get_names(G_THEMED_ICON(icon)); *name;
                 ++name) {
                // Symbolic icons are monochrome outlines for toolbars, not the item's icon.
                if (!std::string_view(*name).ends_with("-symbolic"))
                    names.emplace_back(*name);
            }
        } else if (icon && G_IS_FILE_ICON(icon)) {
            if (char* iconPath = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)))) {
                names.emplace_back(iconPath);
                g_free(iconPath);
            }
        }
        if (info)
            g_object_unref(info);
        g_object_unref(file);
        return names;
    }

    std::optional<std::string> fileAttribute(const std::string& path,
                                             const std::string& attribute) const override {
        GFile* file = g_file_new_for_path(path.c_str());
        GFileInfo* info =
            g_file_query_info(file, attribute.c_str(), G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
        std::optional<std::string> result;
        if (info) {
            if (const char* value = g_file_info_get_attribute_string(info, attribute.c_str()))
                result = value;
            g_object_unref(info);
        }
        g_object_unref(file);
        return result;
    }

    bool setFileAttribute(const std::string& path, const std::string& attribute,
                          const std::optional<std::string>& value) const override {
        GFile* file = g_file_new_for_path(path.c_str());
        GError* error = nullptr;
        const bool done =
            value ? g_file_set_attribute_string(file, attribute.c_str(), value->c_str(),
                                                G_FILE_QUERY_INFO_NONE, nullptr, &error)
                  : g_file_set_attribute(file, attribute.c_str(), G_FILE_ATTRIBUTE_TYPE_INVALID,
                                         nullptr, G_FILE_QUERY_INFO_NONE, nullptr, &error);
        if (error)
            g_error_free(error);
        g_object_unref(file);
        return done;
    }

    std::optional<std::string> gnomeIconTheme() const override {
        // Looked up first: GSettings aborts on a schema that is not installed.
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema =
            source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE)
                   : nullptr;
        const bool usable = schema && g_settings_schema_has_key(schema, "icon-theme");
        if (schema)
            g_settings_schema_unref(schema);
        if (!usable)
            return std::nullopt;
        GSettings* settings = g_settings_new("org.gnome.desktop.interface");
        char* name = g_settings_get_string(settings, "icon-theme");
        std::optional<std::string> result;
        if (name && *name)
            result = name;
        g_free(name);
        g_object_unref(settings);
        return result;
    }

    std::optional<std::string> uriOfPath(const std::string& path) const override {
        char* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
        if (!uri)
            return std::nullopt;
        std::string result(uri);
        g_free(uri);
        return result;
    }

    std::optional<std::string> pathOfUri(const std::string& uri) const override {
        char* path = g_filename_from_uri(uri.c_str(), nullptr, nullptr);
        if (!path)
            return std::nullopt;
        std::string result(path);
        g_free(path);
        return result;
    }
};

}  // namespace

}  // namespace tf

extern "C" __attribute__((visibility("default"))) const tf::ImageBackend*
trackfolio_image_backend() {
    static const tf::VipsBackend backend;
    return &backend;
}

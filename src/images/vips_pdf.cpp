#include "images/vips_pdf.h"

#include <fstream>
#include <iterator>
#include <string_view>

#include "images/vips_image.h"

namespace tf {

namespace {

using vips::VImage;

// The loader takes the name as it is (a file name may hold "[...]").
VImage renderPage(const std::string& path, int page, int dpi) {
    return VImage::pdfload(path.c_str(), VImage::option()->set("page", page)->set("dpi", dpi));
}

// The first page or frame; ImageMagick's loader (BMP, ICO) reads only from memory here.
std::optional<VImage> loadOnce(const std::string& path, std::string& bytes) {
    try {
        VImage image =
            VImage::new_from_source(vips::VSource::new_from_file(path.c_str()), "",
                                    VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
        if (image.width() > 0 && image.height() > 0) {
            return image;
        }
    } catch (const vips::VError&) {
    }
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        return std::nullopt;
    }
    try {
        VImage image = VImage::new_from_buffer(bytes.data(), bytes.size(), "");
        if (image.width() > 0 && image.height() > 0) {
            return image;
        }
    } catch (const vips::VError&) {
    }
    return std::nullopt;
}

}  // namespace

int vipsPdfPageCount(const std::string& path) {
    ensureVipsStarted();
    try {
        const VImage first = renderPage(path, 0, 72);
        int pages = 0;
        if (vips_image_get_int(first.get_image(), VIPS_META_N_PAGES, &pages) != 0) {
            pages = 1;
        }
        return pages;
    } catch (const vips::VError&) {
        return 0;
    }
}

ImageBackend::Image vipsPdfPage(const std::string& path, int page, int dpi) {
    ensureVipsStarted();
    try {
        return std::make_shared<const RCImage::Impl>(
            RCImage::Impl{renderPage(path, page, dpi).copy_memory()});
    } catch (const vips::VError&) {
        return nullptr;
    }
}

std::optional<PageImage> vipsPageImage(const std::string& path) {
    ensureVipsStarted();
    std::string bytes;
    const std::optional<VImage> loaded = loadOnce(path, bytes);
    if (!loaded) {
        return std::nullopt;
    }
    try {
        const VImage& image = *loaded;
        PageImage page;
        page.width = image.width();
        page.height = image.height();
        const char* loader = nullptr;
        if (vips_image_get_string(image.get_image(), "vips-loader", &loader) != 0) {
            loader = nullptr;
        }
        // CMYK JPEGs often store inverted ink values; decoding them is the safe way.
        if (loader != nullptr && std::string_view(loader).starts_with("jpegload") &&
            (image.bands() == 1 || image.bands() == 3)) {
            page.jpegComponents = image.bands();
            return page;
        }
        // One pass over the pixels: a sequentially read image cannot be read twice.
        std::size_t size = 0;
        void* memory = toRGBA8(image).write_to_memory(&size);
        const std::string_view rgba(static_cast<const char*>(memory), size);
        const std::size_t count =
            static_cast<std::size_t>(page.width) * static_cast<std::size_t>(page.height);
        if (rgba.size() != count * 4) {
            g_free(memory);
            return std::nullopt;
        }
        page.rgb.assign(count * 3, '\0');
        page.alpha.assign(count, '\0');
        bool opaque = true;
        for (std::size_t i = 0; i < count; ++i) {
            page.rgb[i * 3] = rgba[i * 4];
            page.rgb[i * 3 + 1] = rgba[i * 4 + 1];
            page.rgb[i * 3 + 2] = rgba[i * 4 + 2];
            page.alpha[i] = rgba[i * 4 + 3];
            opaque = opaque && page.alpha[i] == '\xff';
        }
        g_free(memory);
        // An alpha band that covers everything needs no mask.
        if (opaque) {
            page.alpha.clear();
        }
        return page;
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

}  // namespace tf

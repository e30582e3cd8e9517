#include <sys/stat.h>

#include <vips/vips8>

#include "images/pdf_tools.h"
#include "images/vips_image.h"
#include "util/path_text.h"
#include "util/text.h"

namespace tf {

namespace {

vips::VImage renderPage(const std::string& path, int page) {
    return vips::VImage::new_from_file(
        path.c_str(), vips::VImage::option()->set("page", page)->set("dpi", kPdfRenderDpi));
}

int pageCountOf(const std::string& path) {
    try {
        const vips::VImage first = renderPage(path, 0);
        int pages = 0;
        if (vips_image_get_int(first.get_image(), VIPS_META_N_PAGES, &pages) != 0) {
            pages = 1;
        }
        return pages;
    } catch (const vips::VError&) {
        return 0;
    }
}

bool savePage(const std::string& path, int page, const std::string& ext,
              const std::string& destination) {
    try {
        return imageFromVips(renderPage(path, page)).saveImageWithExt(ext, destination);
    } catch (const vips::VError&) {
        return false;
    }
}

}  // namespace

std::optional<std::string> extractImageFromPDF(const std::string& path, const std::string& ext,
                                               const PdfProgress& progress) {
    ensureVipsStarted();
    const int count = pageCountOf(path);
    if (count <= 0) {
        if (progress) {
            progress(0, 0);
        }
        return std::nullopt;
    }
    const std::string folder = uniquePath(deletingPathExtension(path));
    if (::mkdir(folder.c_str(), 0777) != 0) {
        if (progress) {
            progress(0, 0);
        }
        return std::nullopt;
    }
    const std::string lowerExt = toLower(ext);
    for (int n = 1; n <= count; ++n) {
        savePage(path, n - 1, lowerExt, childPath(folder, std::to_string(n) + "." + lowerExt));
        if (progress) {
            progress(count, n);
        }
    }
    return folder;
}

}  // namespace tf

#include <sys/stat.h>

#include "images/image_backend.h"
#include "images/pdf_tools.h"
#include "util/path_text.h"
#include "util/text.h"

namespace tf {

namespace {

bool savePage(const ImageBackend& backend, const std::string& path, int page,
              const std::string& ext, const std::string& destination) {
    ImageBackend::Image image = backend.pdfPage(path, page, kPdfRenderDpi);
    return image && RCImage(std::move(image)).saveImageWithExt(ext, destination);
}

}  // namespace

std::optional<std::string> extractImageFromPDF(const std::string& path, const std::string& ext,
                                               const PdfProgress& progress) {
    const ImageBackend* backend = imageBackend();
    const int count = backend ? backend->pdfPageCount(path) : 0;
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
        savePage(*backend, path, n - 1, lowerExt,
                 childPath(folder, std::to_string(n) + "." + lowerExt));
        if (progress) {
            progress(count, n);
        }
    }
    return folder;
}

}  // namespace tf

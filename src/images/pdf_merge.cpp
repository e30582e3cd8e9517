#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <iterator>
#include <memory>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "images/image_backend.h"
#include "images/pdf_tools.h"
#include "util/path_text.h"
#include "util/posix.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

using Handle = QPDFObjectHandle;

Handle imageStream(QPDF& pdf, int width, int height, const char* colourSpace, std::string data,
                   const char* filter) {
    Handle image = Handle::newStream(&pdf);
    Handle dict = image.getDict();
    dict.replaceKey("/Type", Handle::newName("/XObject"));
    dict.replaceKey("/Subtype", Handle::newName("/Image"));
    dict.replaceKey("/Width", Handle::newInteger(width));
    dict.replaceKey("/Height", Handle::newInteger(height));
    dict.replaceKey("/ColorSpace", Handle::newName(colourSpace));
    dict.replaceKey("/BitsPerComponent", Handle::newInteger(8));
    // Without a filter the writer deflates the samples.
    image.replaceStreamData(std::move(data), filter ? Handle::newName(filter) : Handle::newNull(),
                            Handle::newNull());
    return image;
}

// The image XObject of one image file: a grey or RGB JPEG as its own bytes, any other image
// losslessly as 8-bit RGB with its coverage as a grey soft mask.
std::optional<Handle> imageObject(QPDF& pdf, const std::string& path) {
    const ImageBackend* backend = imageBackend();
    std::optional<PageImage> image = backend ? backend->pageImage(path) : std::nullopt;
    if (!image) {
        return std::nullopt;
    }
    if (image->jpegComponents != 0) {
        std::optional<std::string> bytes = readFileBytes(path);
        if (!bytes) {
            return std::nullopt;
        }
        return imageStream(pdf, image->width, image->height,
                           image->jpegComponents == 1 ? "/DeviceGray" : "/DeviceRGB",
                           std::move(*bytes), "/DCTDecode");
    }
    Handle rgb =
        imageStream(pdf, image->width, image->height, "/DeviceRGB", std::move(image->rgb), nullptr);
    if (!image->alpha.empty()) {
        rgb.getDict().replaceKey("/SMask",
                                 imageStream(pdf, image->width, image->height, "/DeviceGray",
                                             std::move(image->alpha), nullptr));
    }
    return rgb;
}

// A page exactly the image's size in points showing it whole.
void addImagePage(QPDF& pdf, Handle image) {
    Handle dict = image.getDict();
    const long long width = dict.getKey("/Width").getIntValue();
    const long long height = dict.getKey("/Height").getIntValue();
    Handle resources = Handle::newDictionary();
    Handle objects = Handle::newDictionary();
    objects.replaceKey("/Im0", image);
    resources.replaceKey("/XObject", objects);
    Handle contents = Handle::newStream(&pdf, "q " + std::to_string(width) + " 0 0 " +
                                                  std::to_string(height) + " 0 0 cm /Im0 Do Q\n");
    Handle page = Handle::newDictionary();
    page.replaceKey("/Type", Handle::newName("/Page"));
    page.replaceKey("/MediaBox", Handle::newArray(std::vector<Handle>{
                                     Handle::newInteger(0), Handle::newInteger(0),
                                     Handle::newInteger(width), Handle::newInteger(height)}));
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", contents);
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
}

// Creates the file at the first free name (never over an existing one) and writes the document.
std::optional<std::string> writeNew(QPDF& pdf, const std::string& wanted) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = uniquePath(wanted);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return std::nullopt;
        }
        FILE* file = ::fdopen(fd, "wb");
        if (file == nullptr) {
            ::close(fd);
            ::unlink(path.c_str());
            return std::nullopt;
        }
        try {
            QPDFWriter writer(pdf, path.c_str(), file, true);
            // Pages keep their streams exactly as they were.
            writer.setDecodeLevel(qpdf_dl_none);
            writer.write();
            return path;
        } catch (const std::exception&) {
            ::unlink(path.c_str());
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> mergeToPDF(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        return std::nullopt;
    }
    // The image module is opened only for an image: a merge of PDFs alone never needs it.
    QPDF out;
    out.setSuppressWarnings(true);
    out.emptyPDF();
    // Copied pages refer to their source documents until the write.
    std::vector<std::unique_ptr<QPDF>> sources;
    std::optional<std::string> first;
    int pageCount = 0;
    for (const std::string& path : paths) {
        if (toLower(pathExtension(path)) == "pdf") {
            auto source = std::make_unique<QPDF>();
            source->setSuppressWarnings(true);
            try {
                source->processFile(path.c_str());
                const std::vector<QPDFPageObjectHelper> pages =
                    QPDFPageDocumentHelper(*source).getAllPages();
                for (const QPDFPageObjectHelper& page : pages) {
                    QPDFPageDocumentHelper(out).addPage(page, false);
                }
                pageCount += static_cast<int>(pages.size());
            } catch (const std::exception&) {
                continue;
            }
            sources.push_back(std::move(source));
        } else {
            std::optional<Handle> image = imageObject(out, path);
            if (!image) {
                continue;
            }
            addImagePage(out, *image);
            ++pageCount;
        }
        if (!first) {
            first = path;
        }
    }
    if (!first) {
        return std::nullopt;
    }
    const std::string output = pageCount >= 2 ? childPath(deletingLastPathComponent(*first),
                                                          localized("Untitled") + ".pdf")
                                              : deletingPathExtension(*first) + ".pdf";
    return writeNew(out, output);
}

}  // namespace tf

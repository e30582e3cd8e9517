// Merging into one PDF (names, pages, how images become pages) and splitting a PDF into page
// images (folder, names, progress, resolution).
#include "images/pdf_tools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <set>

#include "image_samples.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using test::solidImage;

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::vector<QPDFPageObjectHelper> pagesOf(QPDF& pdf, const fs::path& path) {
    pdf.processFile(path.c_str());
    return QPDFPageDocumentHelper(pdf).getAllPages();
}

// The one image a page made from an image file shows.
QPDFObjectHandle pageImage(QPDFPageObjectHelper& page) {
    const std::map<std::string, QPDFObjectHandle> images = page.getImages();
    EXPECT_EQ(images.size(), 1u);
    return images.empty() ? QPDFObjectHandle::newNull() : images.begin()->second;
}

class PdfTools : public ::testing::Test {
  protected:
    // An image file of one colour in the type its extension names.
    fs::path image(const std::string& name, int width = 24, int height = 16, int alpha = 255) {
        const fs::path path = dir_.path() / name;
        EXPECT_TRUE(
            solidImage(width, height, 200, 40, 40, static_cast<unsigned char>(alpha))
                .saveImageWithExt(fs::path(name).extension().string().substr(1), path.string()));
        return path;
    }
    fs::path pdf(const std::string& name, int pages) {
        test::TempDir scratch;
        std::vector<std::string> parts;
        for (int i = 0; i < pages; ++i) {
            const fs::path part = scratch.path() / ("p" + std::to_string(i) + ".png");
            EXPECT_TRUE(solidImage(72, 36 + 36 * i, 0, 0, 255).saveImageWithExt("png", part));
            parts.push_back(part.string());
        }
        const std::optional<std::string> merged = mergeToPDF(parts);
        EXPECT_TRUE(merged);
        const fs::path path = dir_.path() / name;
        fs::rename(*merged, path);
        return path;
    }
    test::TempDir dir_;
};

TEST_F(PdfTools, MergeNamesTheDocumentAfterItsFirstContributor) {
    const std::string untitled = localized("Untitled") + ".pdf";
    struct Case {
        std::vector<std::string> items;  // "name" or "name:pages" for a PDF
        std::vector<std::string> existing;
        std::string written;  // empty: nothing written
        int pages;
    };
    const Case cases[] = {
        {{"photo.jpg"}, {}, "photo.pdf", 1},
        {{"photo.jpg"}, {"photo.pdf"}, "photo-1.pdf", 1},
        {{"a.png", "b.jpg"}, {}, untitled, 2},
        {{"notes.txt", "b.png"}, {}, "b.pdf", 1},
        {{"notes.txt", "broken.pdf"}, {}, "", 0},
        // A one-page PDF merged alone keeps its own file and gets a new one.
        {{"one.pdf:1"}, {}, "one-1.pdf", 1},
        {{"two.pdf:2", "c.gif"}, {}, untitled, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.items.front() + " -> " + c.written);
        for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path())) {
            fs::remove_all(entry.path());
        }
        std::vector<std::string> paths;
        for (const std::string& item : c.items) {
            const std::size_t colon = item.find(':');
            const std::string name = item.substr(0, colon);
            if (colon != std::string::npos) {
                paths.push_back(pdf(name, std::stoi(item.substr(colon + 1))).string());
            } else if (name.ends_with(".txt") || name.ends_with(".pdf")) {
                paths.push_back(dir_.write(name, "not an image").string());
            } else {
                paths.push_back(image(name).string());
            }
        }
        for (const std::string& name : c.existing) {
            std::ofstream(dir_.path() / name) << "keep";
        }
        const std::set<std::string> before = namesIn(dir_.path());
        const std::optional<std::string> written = mergeToPDF(paths);
        std::set<std::string> added = namesIn(dir_.path());
        for (const std::string& name : before) {
            added.erase(name);
        }
        if (c.written.empty()) {
            EXPECT_FALSE(written);
            EXPECT_TRUE(added.empty());
            continue;
        }
        ASSERT_TRUE(written);
        EXPECT_EQ(*written, (dir_.path() / c.written).string());
        EXPECT_EQ(added, std::set<std::string>{c.written});
        QPDF out;
        EXPECT_EQ(pagesOf(out, *written).size(), static_cast<std::size_t>(c.pages));
        for (const std::string& name : c.existing) {
            EXPECT_EQ(test::readFile(dir_.path() / name), "keep");
        }
    }
    EXPECT_FALSE(mergeToPDF({}));
}

// A JPEG is embedded as its own bytes; other images losslessly, with alpha as a soft mask; a
// pixel is a point.
TEST_F(PdfTools, ImagesBecomePagesOfTheirPixelSize) {
    const fs::path jpeg = image("photo.jpg", 40, 30);
    const fs::path translucent = image("glass.png", 20, 10, 128);
    const fs::path opaque = image("wall.tiff", 12, 8);
    const std::optional<std::string> written =
        mergeToPDF({jpeg.string(), translucent.string(), opaque.string()});
    ASSERT_TRUE(written);
    QPDF out;
    std::vector<QPDFPageObjectHelper> pages = pagesOf(out, *written);
    ASSERT_EQ(pages.size(), 3u);

    const std::pair<int, int> sizes[] = {{40, 30}, {20, 10}, {12, 8}};
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const QPDFObjectHandle::Rectangle box = pages[i].getMediaBox().getArrayAsRectangle();
        EXPECT_EQ(box.urx - box.llx, sizes[i].first) << i;
        EXPECT_EQ(box.ury - box.lly, sizes[i].second) << i;
    }

    QPDFObjectHandle photo = pageImage(pages[0]);
    EXPECT_EQ(photo.getDict().getKey("/Filter").getName(), "/DCTDecode");
    EXPECT_EQ(photo.getRawStreamData()->getSize(), fs::file_size(jpeg));
    const std::shared_ptr<Buffer> raw = photo.getRawStreamData();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize()),
              test::readFile(jpeg));

    QPDFObjectHandle glass = pageImage(pages[1]);
    EXPECT_EQ(glass.getDict().getKey("/Filter").getName(), "/FlateDecode");
    EXPECT_EQ(glass.getStreamData()->getSize(), 20u * 10u * 3u);
    QPDFObjectHandle mask = glass.getDict().getKey("/SMask");
    ASSERT_TRUE(mask.isStream());
    EXPECT_EQ(mask.getDict().getKey("/ColorSpace").getName(), "/DeviceGray");
    const std::shared_ptr<Buffer> coverage = mask.getStreamData();
    ASSERT_EQ(coverage->getSize(), 20u * 10u);
    EXPECT_EQ(coverage->getBuffer()[0], 128);

    EXPECT_FALSE(pageImage(pages[2]).getDict().hasKey("/SMask"));
}

TEST_F(PdfTools, SplitWritesOnePagePerImageWithProgress) {
    const fs::path doc = pdf("doc.pdf", 3);
    std::vector<std::pair<int, int>> steps;
    const auto record = [&steps](int count, int done) { steps.emplace_back(count, done); };

    ASSERT_EQ(extractImageFromPDF(doc.string(), "PNG", record), (dir_.path() / "doc").string());
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{3, 1}, {3, 2}, {3, 3}}));
    EXPECT_EQ(namesIn(dir_.path() / "doc"), (std::set<std::string>{"1.png", "2.png", "3.png"}));
    // 72 x 108 points at the rendering resolution.
    const std::optional<RCImage> third = RCImage::load((dir_.path() / "doc/3.png").string());
    ASSERT_TRUE(third);
    EXPECT_EQ(third->width(), 72 * kPdfRenderDpi / 72);
    EXPECT_EQ(third->height(), 108 * kPdfRenderDpi / 72);

    // The folder exists now: the next split goes beside it; the type follows the extension.
    steps.clear();
    ASSERT_EQ(extractImageFromPDF(doc.string(), "JPEG", record), (dir_.path() / "doc-1").string());
    EXPECT_EQ(namesIn(dir_.path() / "doc-1"),
              (std::set<std::string>{"1.jpeg", "2.jpeg", "3.jpeg"}));
    EXPECT_EQ(test::readFile(dir_.path() / "doc-1/1.jpeg").substr(0, 3), "\xff\xd8\xff");

    // Unreadable: (0, 0) and nothing made.
    steps.clear();
    const fs::path broken = dir_.write("broken.pdf", "%PDF-1.4 no more");
    EXPECT_FALSE(extractImageFromPDF(broken.string(), "PNG", record));
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{0, 0}}));
    EXPECT_FALSE(fs::exists(dir_.path() / "broken"));
}

}  // namespace
}  // namespace tf

// PDF work behind "Convert to": merging PDFs and images into one document (pages are copied,
// never rendered again) and splitting a PDF into one image per page.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tf {

// Merges the items in order into one PDF: every page of each readable PDF, one page per image
// (a JPEG is embedded as its own bytes, any other image losslessly with its alpha as a soft
// mask; a pixel becomes a point, so the page is the image's size at 72 dpi). Items that are
// neither are skipped. The document is written beside the first item that contributed: named
// after it for a single page, after the "Untitled" text for more, at the first free name.
// Returns the path written, or nothing when no item contributed or the write failed.
std::optional<std::string> mergeToPDF(const std::vector<std::string>& paths);

// (page count, pages done); called with (0, 0) when the PDF cannot be read or has no pages.
using PdfProgress = std::function<void(int count, int done)>;

// Pages are rendered at this resolution: small print stays legible and a letter page stays
// near 2 megapixels.
inline constexpr int kPdfRenderDpi = 150;

// Renders each page of the PDF into a new folder named after it (the first free name), as
// "<n>.<ext>" with the extension lowercased and its file type chosen by it. A page that fails
// to save is skipped. Returns the folder, or nothing when the PDF has no readable page.
std::optional<std::string> extractImageFromPDF(const std::string& path, const std::string& ext,
                                               const PdfProgress& progress);

}  // namespace tf

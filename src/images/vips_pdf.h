// Inside the image module only: PDF pages and merge-ready pixels through libvips.
#pragma once

#include <optional>
#include <string>

#include "images/image_backend.h"

namespace tf {

int vipsPdfPageCount(const std::string& path);
ImageBackend::Image vipsPdfPage(const std::string& path, int page, int dpi);
std::optional<PageImage> vipsPageImage(const std::string& path);

}  // namespace tf

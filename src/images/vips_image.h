// The bridge between RCImage and libvips for code that needs vips operations of its own
// (page rendering, raw pixels). Users link PkgConfig::VIPS for the include path.
#pragma once

#include <vips/vips8>

#include "images/rc_image.h"

namespace tf {

struct RCImage::Impl {
    vips::VImage image;
};

// Starts libvips once per process (any thread may call it; later calls return at once).
void ensureVipsStarted();

inline RCImage imageFromVips(vips::VImage image) {
    return RCImage(std::make_shared<const RCImage::Impl>(RCImage::Impl{std::move(image)}));
}

// The image as 8-bit sRGB with an alpha band (four bands).
vips::VImage toRGBA8(const vips::VImage& image);

}  // namespace tf

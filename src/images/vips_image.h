// Inside the image module only (image_backend.h): the vips image behind an RCImage.
#pragma once

#include <vips/vips8>

#include "images/rc_image.h"

namespace tf {

struct RCImage::Impl {
    vips::VImage image;
};

// Starts libvips once per process (any thread may call it; later calls return at once).
void ensureVipsStarted();

// The image as 8-bit sRGB with an alpha band (four bands).
vips::VImage toRGBA8(const vips::VImage& image);

}  // namespace tf

// Small images made in memory for the image tests.
#pragma once

#include <string>

#include "images/rc_image.h"

namespace tf::test {

// A width x height image of one colour (8-bit RGBA components).
inline RCImage solidImage(int width, int height, unsigned char r, unsigned char g, unsigned char b,
                          unsigned char a = 255) {
    std::string pixels;
    pixels.reserve(static_cast<std::size_t>(width * height * 4));
    for (int i = 0; i < width * height; ++i) {
        pixels.push_back(static_cast<char>(r));
        pixels.push_back(static_cast<char>(g));
        pixels.push_back(static_cast<char>(b));
        pixels.push_back(static_cast<char>(a));
    }
    return RCImage::fromRGBA(width, height, pixels);
}

}  // namespace tf::test

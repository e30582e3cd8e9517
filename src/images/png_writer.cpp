#include "images/png_writer.h"

#include <libdeflate.h>

#include <array>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace tf {

namespace {

// Level 2 is within a few percent of the usual tools' size on photographs and about as fast
// as libpng writing without any filter.
constexpr int kDeflateLevel = 2;
constexpr std::size_t kIdatChunk = 1 << 20;

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorFree>;

void putBigEndian(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>(value >> 24));
    out.push_back(static_cast<char>(value >> 16));
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value));
}

void putChunk(std::string& out, const char type[4], std::string_view data) {
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto crc =
        static_cast<std::uint32_t>(libdeflate_crc32(0, out.data() + start, out.size() - start));
    putBigEndian(out, crc);
}

std::string deflated(libdeflate_compressor* compressor, std::string_view data) {
    // Left uninitialised: only the pages the compressor writes are ever touched.
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor, data.size());
    const std::unique_ptr<char[]> buffer(new char[bound]);
    const std::size_t size =
        libdeflate_zlib_compress(compressor, data.data(), data.size(), buffer.get(), bound);
    return std::string(buffer.get(), size);
}

// Rows [first, end) with the average filter: each byte minus the mean of its left and upper
// neighbours (zero outside the image).
void filterRows(const PngPixels& image, std::size_t stride, int first, int end,
                unsigned char* out) {
    const auto* pixels = reinterpret_cast<const unsigned char*>(image.pixels.data());
    const std::size_t bpp = static_cast<std::size_t>(image.bands);
    for (int y = first; y < end; ++y) {
        const unsigned char* row = pixels + stride * static_cast<std::size_t>(y);
        unsigned char* target = out + (stride + 1) * static_cast<std::size_t>(y);
        target[0] = 3;
        ++target;
        if (y == 0) {
            for (std::size_t x = 0; x < bpp; ++x) {
                target[x] = row[x];
            }
            for (std::size_t x = bpp; x < stride; ++x) {
                target[x] = static_cast<unsigned char>(row[x] - (row[x - bpp] >> 1));
            }
            continue;
        }
        const unsigned char* up = row - stride;
        for (std::size_t x = 0; x < bpp; ++x) {
            target[x] = static_cast<unsigned char>(row[x] - (up[x] >> 1));
        }
        for (std::size_t x = bpp; x < stride; ++x) {
            target[x] = static_cast<unsigned char>(
                row[x] - ((static_cast<unsigned>(row[x - bpp]) + up[x]) >> 1));
        }
    }
}

}  // namespace

std::optional<std::string> encodePNG(const PngPixels& image) {
    static constexpr std::array<char, 5> kColourType = {0, 0, 4, 2, 6};
    if (image.width <= 0 || image.height <= 0 || image.bands < 1 || image.bands > 4) {
        return std::nullopt;
    }
    const std::size_t stride =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.bands);
    if (image.pixels.size() != stride * static_cast<std::size_t>(image.height)) {
        return std::nullopt;
    }
    Compressor compressor(libdeflate_alloc_compressor(kDeflateLevel));
    if (!compressor) {
        return std::nullopt;
    }

    std::string filtered((stride + 1) * static_cast<std::size_t>(image.height), '\0');
    auto* out = reinterpret_cast<unsigned char*>(filtered.data());
    // Rows filter independently: large images use a second thread for the lower half.
    const int half = image.height / 2;
    if (filtered.size() >= (std::size_t{8} << 20)) {
        std::thread lower([&] { filterRows(image, stride, half, image.height, out); });
        filterRows(image, stride, 0, half, out);
        lower.join();
    } else {
        filterRows(image, stride, 0, image.height, out);
    }
    const std::string stream = deflated(compressor.get(), filtered);
    filtered.clear();
    filtered.shrink_to_fit();

    std::string png("\x89PNG\r\n\x1a\n", 8);
    png.reserve(stream.size() + stream.size() / kIdatChunk * 12 + image.iccProfile.size() + 128);
    std::string header;
    putBigEndian(header, static_cast<std::uint32_t>(image.width));
    putBigEndian(header, static_cast<std::uint32_t>(image.height));
    header.push_back(8);
    header.push_back(kColourType[static_cast<std::size_t>(image.bands)]);
    header.append(3, '\0');
    putChunk(png, "IHDR", header);
    if (!image.iccProfile.empty()) {
        std::string icc("icc\0\0", 5);
        icc += deflated(compressor.get(), image.iccProfile);
        putChunk(png, "iCCP", icc);
    }
    for (std::size_t at = 0; at < stream.size(); at += kIdatChunk) {
        putChunk(png, "IDAT", std::string_view(stream).substr(at, kIdatChunk));
    }
    putChunk(png, "IEND", {});
    return png;
}

}  // namespace tf

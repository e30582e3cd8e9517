#include "images/rc_image.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <mutex>
#include <vector>

#include "images/image_backend.h"

namespace tf {

namespace {

// Beside the build tree's programs the module is where the build put it; installed, it is
// in <prefix>/<libdir>/trackfolio, found from the running program's folder.
// Beside an installed program, or in the build tree for a program run from there. The
// build tree is never tried by an installed program: code is loaded only from where the
// program itself came from, not from a folder that may be anyone's by now (/tmp/build).
std::vector<std::string> moduleCandidates() {
    std::vector<std::string> candidates;
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return candidates;
    }
    const std::string buildDir = TRACKFOLIO_BUILD_DIR "/";
    if (exe.string().starts_with(buildDir)) {
        candidates.emplace_back(TRACKFOLIO_IMAGE_MODULE_BUILD);
        return candidates;
    }
    for (const char* relative :
         {TRACKFOLIO_IMAGE_MODULE_FROM_BIN, TRACKFOLIO_IMAGE_MODULE_FROM_LIBEXEC}) {
        candidates.push_back((exe.parent_path() / relative).lexically_normal().string());
    }
    return candidates;
}

const ImageBackend* openBackend() {
    std::string why;
    for (const std::string& path : moduleCandidates()) {
        if (::access(path.c_str(), R_OK) != 0)
            continue;
        // Never closed: images made by the module outlive any one caller.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* error = ::dlerror();
            why = error ? error : path;
            continue;
        }
        using Entry = const ImageBackend* (*)();
        const auto entry = reinterpret_cast<Entry>(::dlsym(module, "trackfolio_image_backend"));
        if (entry)
            return entry();
    }
    std::cerr << "trackfolio: the image module cannot be loaded"
              << (why.empty() ? std::string() : ": " + why) << "\n";
    return nullptr;
}

RCImage wrap(ImageBackend::Image image) {
    return image ? RCImage(std::move(image)) : RCImage();
}

}  // namespace

const ImageBackend* imageBackend() {
    static const ImageBackend* const backend = openBackend();
    return backend;
}

BitmapType bitmapTypeForExtension(std::string_view extension) {
    if (extension == "jpeg" || extension == "jpg")
        return BitmapType::JPEG;
    if (extension == "bmp")
        return BitmapType::BMP;
    if (extension == "tiff")
        return BitmapType::TIFF;
    if (extension == "jp2")
        return BitmapType::JPEG2000;
    if (extension == "gif")
        return BitmapType::GIF;
    return BitmapType::PNG;
}

std::optional<RCImage> RCImage::load(const std::string& path, Access access) {
    const ImageBackend* backend = imageBackend();
    auto image = backend ? backend->load(path, access == Access::Sequential) : nullptr;
    if (!image)
        return std::nullopt;
    RCImage loaded(std::move(image));
    loaded.sourcePath_ = path;
    return loaded;
}

std::optional<RCImage> RCImage::loadAtSize(const std::string& path, int width, int height) {
    const ImageBackend* backend = imageBackend();
    auto image = backend ? backend->loadAtSize(path, width, height) : nullptr;
    if (!image)
        return std::nullopt;
    return RCImage(std::move(image));
}

RCImage RCImage::fromRGBA(int width, int height, std::string_view pixels) {
    const ImageBackend* backend = imageBackend();
    return backend ? wrap(backend->fromRGBA(width, height, pixels)) : RCImage();
}

int RCImage::width() const {
    return impl_ ? imageBackend()->width(*impl_) : 0;
}

int RCImage::height() const {
    return impl_ ? imageBackend()->height(*impl_) : 0;
}

std::array<std::uint8_t, 4> RCImage::pixel(int x, int y) const {
    return impl_ ? imageBackend()->pixel(*impl_, x, y) : std::array<std::uint8_t, 4>{};
}

bool RCImage::saveImageWithExt(std::string_view extension, const std::string& path) const {
    return saveImageType(bitmapTypeForExtension(extension), path);
}

bool RCImage::saveImageType(BitmapType type, const std::string& path) const {
    return impl_ && imageBackend()->save(*impl_, type, path);
}

std::optional<std::string> RCImage::encoded(BitmapType type) const {
    return impl_ ? imageBackend()->encoded(*impl_, type) : std::nullopt;
}

RCImage RCImage::imageWithSize(int width, int height) const {
    return impl_ ? wrap(imageBackend()->resized(*impl_, width, height)) : RCImage();
}

RCImage RCImage::tintImage(const RGBAColour& colour) const {
    return impl_ ? wrap(imageBackend()->tinted(*impl_, colour)) : RCImage();
}

RCImage RCImage::mergeImage(const RCImage& other, const ImageRect& rect) const {
    return impl_ ? wrap(imageBackend()->merged(*impl_, other.impl_.get(), rect)) : RCImage();
}

}  // namespace tf

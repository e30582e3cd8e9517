#include "images/icon_sets.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "util/path_text.h"
#include "util/posix.h"

namespace tf {

namespace {

namespace fs = std::filesystem;

enum class Scale { X1, X2, X3, X1_3, X2_7 };

// Writer rows of the set tables: 2x/3x writers also write the next scale down unless
// `only` is set (a 3x writer's companion is the 2x, never the 1x).
struct Writer {
    Scale scale;
    const char* size;
    const char* prefix;
    bool only;
};

constexpr Writer kMacWriters[] = {
    {Scale::X2, "512", "icon_", false},
    {Scale::X2, "256", "icon_", false},
    {Scale::X2, "128", "icon_", false},
    {Scale::X2, "16", "icon_", false},
};

constexpr Writer kIOSWriters[] = {
    {Scale::X2, "76", "iPadApp_", false},
    {Scale::X2, "20", "iPadNotifications_", false},
    {Scale::X2, "29", "iPadSpootlight5_", false},
    {Scale::X2, "40", "iPadSpootlight7_", false},
    {Scale::X2, "83.5", "iPadProApp_", true},
    {Scale::X3, "60", "iPhoneApp_", false},
    {Scale::X3, "20", "iPhoneNotification_", false},
    {Scale::X3, "29", "iPhoneSpootlight5_", false},
    {Scale::X3, "40", "iPhoneSpootlight7_", false},
    {Scale::X1, "1024", "store_", false},
};

constexpr Writer kWatchWriters[] = {
    {Scale::X2, "40", "appLauncher_", true},
    {Scale::X2, "29", "companion_", true},
    {Scale::X3, "29", "companion_", true},
    {Scale::X2, "44", "longLook_", true},
    {Scale::X2, "24", "notificationCenter_", true},
    {Scale::X2, "27.5", "notificationCenter_", true},
    {Scale::X2, "86", "shortLook_", true},
    {Scale::X2, "98", "shortLook_", true},
};

constexpr Writer kAndroidWriters[] = {
    {Scale::X2, "36", "AndroidIcon_", false},
    {Scale::X1_3, "36", "AndroidIcon_", true},
    {Scale::X2_7, "36", "AndroidIcon_", true},
};

// The macOS icon file's chunks and the pixel size each holds.
constexpr std::pair<const char*, int> kIcnsChunks[] = {
    {"icp4", 16},  {"ic11", 32},  {"ic07", 128}, {"ic13", 256},
    {"ic08", 256}, {"ic14", 512}, {"ic09", 512}, {"ic10", 1024},
};

IconFile iconFile(Scale scale, const std::string& size, const std::string& prefix) {
    const double points = std::stod(size);
    const auto named = [&](const char* tail, double factor) {
        return IconFile{prefix + size + "x" + size + tail,
                        static_cast<int>(std::lround(points * factor))};
    };
    switch (scale) {
        case Scale::X1:
            return named(".png", 1);
        case Scale::X2:
            return named("@2x.png", 2);
        case Scale::X3:
            return named("@3x.png", 3);
        case Scale::X1_3:
            return named("@1.3x.png", 4.0 / 3.0);
        case Scale::X2_7:
            return named("@2.7x.png", 8.0 / 3.0);
    }
    return {};
}

template <std::size_t N>
std::vector<IconFile> filesOf(const Writer (&writers)[N]) {
    std::vector<IconFile> files;
    for (const Writer& w : writers) {
        files.push_back(iconFile(w.scale, w.size, w.prefix));
        if (w.only)
            continue;
        if (w.scale == Scale::X2)
            files.push_back(iconFile(Scale::X1, w.size, w.prefix));
        else if (w.scale == Scale::X3)
            files.push_back(iconFile(Scale::X2, w.size, w.prefix));
    }
    return files;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool startsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

nlohmann::ordered_json imageObject(IconSetType type, const std::string& name,
                                   const std::string& prefix, const std::string& size,
                                   const std::string& scale) {
    nlohmann::ordered_json object;
    object["size"] = size;
    object["filename"] = name;
    switch (type) {
        case IconSetType::Icns:
        case IconSetType::OSX:
            object["idiom"] = "mac";
            object["scale"] = scale;
            break;
        case IconSetType::IOS: {
            const std::string lower = lowercase(name);
            object["idiom"] = contains(lower, "ipad")   ? "ipad"
                              : contains(name, "store") ? "ios-marketing"
                                                        : "iphone";
            object["scale"] = scale;
            break;
        }
        case IconSetType::IWatch: {
            object["idiom"] = "watch";
            object["scale"] = scale;
            object["role"] = prefix == "companion"   ? "companionSettings"
                             : prefix == "shortLook" ? "quickLook"
                                                     : prefix;
            constexpr std::pair<const char*, const char*> kSubtypes[] = {
                {"notificationCenter_24", "38mm"}, {"notificationCenter_27", "42mm"},
                {"appLauncher_40", "38mm"},        {"longLook_44", "42mm"},
                {"shortLook_86", "38mm"},          {"shortLook_98", "42mm"},
            };
            for (const auto& [start, subtype] : kSubtypes) {
                if (startsWith(name, start)) {
                    object["subtype"] = subtype;
                    break;
                }
            }
            break;
        }
        case IconSetType::Android:
            object["idiom"] = "android";
            object["resolution"] = contains(name, "36@1.3x")   ? "mdpi 48pt"
                                   : contains(name, "36@2x")   ? "hdpi 72pt"
                                   : contains(name, "36@2.7x") ? "xhdpi 96pt"
                                                               : "ldpi 36pt";
            break;
    }
    return object;
}

// The bytes of a PNG file whose picture is exactly width x height, read whole; nullopt for
// anything else. Such a file is the icon of that size as it is: copying it keeps the
// user's own encoding (palette, colour profile) and skips a decode and encode.
std::optional<std::string> pngFileOfSize(const std::string& path, int width, int height) {
    constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
    std::optional<std::string> file = readFileBytes(path, true);
    if (!file)
        return std::nullopt;
    std::string& bytes = *file;
    if (bytes.size() < 33 || std::string_view(bytes).substr(0, 8) != kSignature ||
        std::string_view(bytes).substr(12, 4) != "IHDR")
        return std::nullopt;
    const auto at = [&](std::size_t offset) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
        return value;
    };
    if (at(16) != static_cast<std::uint32_t>(width) || at(20) != static_cast<std::uint32_t>(height))
        return std::nullopt;
    return file;
}

// Resampled images of one source: a halving pyramid from the largest size needed down to
// the smallest, each wanted size made from the nearest level at or above it and encoded once
// however many files share it.
class IconPyramid {
  public:
    IconPyramid(const RCImage& source, const std::set<int>& wanted) {
        const int largest = *wanted.rbegin();
        const int smallest = *wanted.begin();
        // Each level a file wants is encoded on a second thread while the next level is
        // reduced: the encodes, the largest above all, then cost next to nothing.
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<RCImage> queue;
        bool done = false;
        std::map<int, std::string> encoded;
        std::thread encoder([&] {
            std::unique_lock lock(mutex);
            while (true) {
                changed.wait(lock, [&] { return done || !queue.empty(); });
                if (queue.empty())
                    return;
                const RCImage level = queue.front();
                queue.pop_front();
                lock.unlock();
                std::optional<std::string> bytes = level.encoded(BitmapType::PNG);
                lock.lock();
                if (bytes)
                    encoded.emplace(level.width(), std::move(*bytes));
            }
        });
        const auto add = [&](RCImage level) {
            if (!level.empty() && wanted.contains(level.width())) {
                const std::lock_guard lock(mutex);
                queue.push_back(level);
                changed.notify_one();
            }
            levels_.push_back(std::move(level));
        };
        std::optional<std::string> asItIs;
        if (source.width() == largest && !source.sourcePath().empty())
            asItIs = pngFileOfSize(source.sourcePath(), largest, largest);
        if (asItIs) {
            {
                const std::lock_guard lock(mutex);
                encoded.emplace(largest, std::move(*asItIs));
            }
            levels_.push_back(source);
        } else {
            add(source.width() == largest ? source : source.imageWithSize(largest, largest));
        }
        while (!levels_.back().empty() && levels_.back().width() / 2 >= smallest) {
            const int half = levels_.back().width() / 2;
            add(levels_.back().imageWithSize(half, half));
        }
        {
            const std::lock_guard lock(mutex);
            done = true;
            changed.notify_one();
        }
        encoder.join();
        pngs_ = std::move(encoded);
    }

    // The PNG bytes of the image at this size, or nullptr when it cannot be made.
    const std::string* png(int pixels) {
        if (const auto found = pngs_.find(pixels); found != pngs_.end())
            return &found->second;
        const RCImage* from = &levels_.front();
        for (const RCImage& level : levels_) {
            if (!level.empty() && level.width() >= pixels)
                from = &level;
        }
        const RCImage sized = from->width() == pixels ? *from : from->imageWithSize(pixels, pixels);
        auto bytes = sized.encoded(BitmapType::PNG);
        if (!bytes)
            return nullptr;
        return &pngs_.emplace(pixels, std::move(*bytes)).first->second;
    }

  private:
    std::vector<RCImage> levels_;
    std::map<int, std::string> pngs_;
};

IconPyramid pyramidFor(const RCImage& source, const std::vector<IconFile>& files) {
    std::set<int> wanted;
    for (const IconFile& file : files)
        wanted.insert(file.pixels);
    return IconPyramid(source, wanted);
}

bool writeNewFile(const std::string& path, std::string_view bytes) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.valid())
        return false;
    if (writeAll(fd.get(), bytes) != 0) {
        fd.reset();
        ::unlink(path.c_str());
        return false;
    }
    if (fd.close() != 0) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

std::string suffixFor(IconSetType type) {
    switch (type) {
        case IconSetType::Icns:
        case IconSetType::OSX:
            return "(OSX)";
        case IconSetType::IOS:
            return "(iOS)";
        case IconSetType::IWatch:
            return "(iWatch)";
        case IconSetType::Android:
            return "(Android)";
    }
    return {};
}

IconSetResult writeIcnsFile(const RCImage& image, const std::string& base) {
    IconSetResult result;
    IconPyramid pyramid = pyramidFor(image, iconSetFiles(IconSetType::Icns));
    std::map<int, std::string> pngs;
    for (const auto& [type, pixels] : kIcnsChunks) {
        const std::string* png = pyramid.png(pixels);
        if (!png) {
            result.status = IconSetResult::Status::WriteFailed;
            return result;
        }
        pngs.emplace(pixels, *png);
    }
    // Never over another file: an existing icon file stays, the new one is numbered.
    result.path = uniquePath(childPath(deletingLastPathComponent(base), "AppIcon.icns"));
    if (replaceFileContents(result.path, icnsFile(pngs)) != 0) {
        result.status = IconSetResult::Status::WriteFailed;
    }
    return result;
}

IconSetResult writeSetFolder(const RCImage& image, const std::string& base, IconSetType type) {
    IconSetResult result;
    result.path = uniquePath(base + suffixFor(type));
    const std::string inner = childPath(result.path, "AppIcon.appiconset");
    const auto fail = [&] {
        std::error_code ignored;
        fs::remove_all(result.path, ignored);
        result.status = IconSetResult::Status::WriteFailed;
        return result;
    };
    std::error_code error;
    fs::create_directories(inner, error);
    if (error)
        return fail();

    const std::vector<IconFile> files = iconSetFiles(type);
    IconPyramid pyramid = pyramidFor(image, files);
    std::vector<std::string> names;
    for (const IconFile& file : files) {
        const std::string* png = pyramid.png(file.pixels);
        if (!png || !writeNewFile(childPath(inner, file.name), *png))
            return fail();
        names.push_back(file.name);
    }
    if (!writeNewFile(childPath(inner, "Contents.json"), iconSetContentsJson(type, names)))
        return fail();
    return result;
}

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xff));
}

}  // namespace

IconSetType iconSetTypeForKey(std::string_view key) {
    if (key == "AppIcon.icns")
        return IconSetType::Icns;
    if (key == "OSX AppIconset")
        return IconSetType::OSX;
    if (key == "iOS AppIconset")
        return IconSetType::IOS;
    if (key == "iWatch AppIconset")
        return IconSetType::IWatch;
    return IconSetType::Android;
}

std::vector<IconFile> iconSetFiles(IconSetType type) {
    switch (type) {
        case IconSetType::Icns:
        case IconSetType::OSX:
            return filesOf(kMacWriters);
        case IconSetType::IOS:
            return filesOf(kIOSWriters);
        case IconSetType::IWatch:
            return filesOf(kWatchWriters);
        case IconSetType::Android:
            return filesOf(kAndroidWriters);
    }
    return {};
}

std::string iconSetContentsJson(IconSetType type, const std::vector<std::string>& names) {
    auto images = nlohmann::ordered_json::array();
    for (const std::string& name : names) {
        if (name.empty() || name.front() == '.')
            continue;
        const std::vector<std::string> parts = split(deletingPathExtension(name), '_');
        if (parts.size() != 2)
            continue;
        const std::vector<std::string> sizeAndScale = split(parts[1], '@');
        const std::string scale = sizeAndScale.size() == 2 ? sizeAndScale[1] : "1x";
        images.push_back(imageObject(type, name, parts[0], sizeAndScale[0], scale));
    }
    nlohmann::ordered_json contents;
    contents["images"] = std::move(images);
    contents["info"] = {{"version", 1}, {"author", "xcode"}};
    return contents.dump(2) + "\n";
}

std::string icnsFile(const std::map<int, std::string>& pngByPixels) {
    std::string body;
    for (const auto& [type, pixels] : kIcnsChunks) {
        const auto png = pngByPixels.find(pixels);
        if (png == pngByPixels.end())
            continue;
        body.append(type, 4);
        appendBigEndian(body, static_cast<std::uint32_t>(png->second.size() + 8));
        body += png->second;
    }
    std::string file = "icns";
    appendBigEndian(file, static_cast<std::uint32_t>(body.size() + 8));
    return file + body;
}

IconSetResult createIconToPath(const RCImage& image, const std::string& base, IconSetType type) {
    if (image.empty() || image.width() != image.height()) {
        IconSetResult result;
        result.status = IconSetResult::Status::NotSquare;
        result.width = image.width();
        result.height = image.height();
        return result;
    }
    if (type == IconSetType::Icns)
        return writeIcnsFile(image, base);
    return writeSetFolder(image, base, type);
}

}  // namespace tf

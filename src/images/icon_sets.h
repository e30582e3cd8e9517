// Application icon sets made from one square image: a macOS icon file, or an icon set folder
// for macOS, iOS, watchOS or Android holding every size as PNG plus a "Contents.json" that
// describes each file. The images come from a halving pyramid: the largest size is made
// from the source once, every smaller one from the nearest larger level.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "images/rc_image.h"

namespace tf {

// The set types: the number is what the "Convert to" children stand for.
enum class IconSetType : int { Icns = -1, OSX = 0, IOS = 1, IWatch = 2, Android = 3 };

// The type of an icon-set key ("AppIcon.icns", "OSX AppIconset", "iOS AppIconset",
// "iWatch AppIconset", "Android AppIconset"); any other key containing "AppIcon" is Android.
IconSetType iconSetTypeForKey(std::string_view key);

// One image of a set: its file name and its width (= height) in pixels.
struct IconFile {
    std::string name;
    int pixels = 0;
};

// The files of a set in the order they are written (Icns: the eight images of the macOS
// icon file, keyed by the set's file names).
std::vector<IconFile> iconSetFiles(IconSetType type);

// The "Contents.json" text describing the named files of a set of this type.
std::string iconSetContentsJson(IconSetType type, const std::vector<std::string>& names);

// What a set conversion did. The caller tells the user:
// - NotSquare: the "Convert Icns image invalid" alert filled with width and height, in that
//   order; nothing was written.
// - WriteFailed: a file could not be written; whatever was made is removed again (the set
//   folder, or the icon file's temporary). Report it once per command, not per file.
struct IconSetResult {
    enum class Status { Written, NotSquare, WriteFailed };
    Status status = Status::Written;
    int width = 0;
    int height = 0;
    // The set folder (for example "photo(iOS)") or the icon file written.
    std::string path;
};

// Makes the set for the source image. base: the source path without its extension. The
// set folder is the first free "<base>(<suffix>)[-n]" with "AppIcon.appiconset" inside;
// the icon file is "AppIcon.icns" in base's folder (numbered when one exists already).
IconSetResult createIconToPath(const RCImage& image, const std::string& base, IconSetType type);

// An icon file ("icns") of PNG chunks, one per OSType (icp4, ic11, ic07, ic13, ic08, ic14,
// ic09, ic10 for 16, 32, 128, 256, 256, 512, 512, 1024 pixels), from the PNG bytes of each
// pixel size. A size missing from the map is left out.
std::string icnsFile(const std::map<int, std::string>& pngByPixels);

}  // namespace tf

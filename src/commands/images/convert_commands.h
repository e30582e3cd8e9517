// "Convert to": re-encodes the selected images, splits PDFs into page images, builds app icon
// sets, or merges the selection into one PDF. The menu command runs it in the background with
// the shared progress window; `trackfolio-sync convert` runs the same work in the foreground.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/user_interface.h"

namespace tf {

// What a conversion reports while it runs (on the thread that runs it). Every member may be
// left empty.
struct ConvertEvents {
    // A file or folder the conversion made.
    std::function<void(const std::string& path)> written;
    // A file that could not be saved in the target format (for icon sets: the first one of
    // the run only).
    std::function<void(const std::string& source)> failed;
    // Pages of a PDF being split: (page count, pages done).
    std::function<void(int count, int done)> pages;
    // Anything else to tell the user (a source an icon set cannot be made from, a failed set).
    std::function<void(const AlertRequest& alert)> alert;
};

// Whether the key names a child of "Convert to" ("PNG", "PDF", "iOS AppIconset", ...).
bool isConvertKey(std::string_view key);
// Whether the key names an app icon set ("AppIcon.icns", "iOS AppIconset", ...).
bool isIconSetKey(std::string_view key);

// Converts the paths, in order, to the target the key names. Only paths whose extension is
// one of `formats` exactly are converted (except for "PDF", which merges whatever it can
// read); files nothing here can decode are skipped. Nothing is ever written over an existing
// file, the sources included: a taken name gets the first free variant.
void convertPaths(std::string_view key, const std::vector<std::string>& paths,
                  const std::vector<std::string>& formats, const ConvertEvents& events);

// The alert for a file that could not be converted.
AlertRequest convertFailAlert(const std::string& source);
// The alert for an icon-set source that is not square.
AlertRequest notSquareAlert(int width, int height);

}  // namespace tf

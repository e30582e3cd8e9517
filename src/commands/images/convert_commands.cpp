#include "commands/images/convert_commands.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "commands/builtin_commands.h"
#include "engine/finder_sync.h"
#include "images/icon_sets.h"
#include "images/pdf_tools.h"
#include "images/rc_image.h"
#include "model/menu_keys.h"
#include "runtime/queues.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr std::string_view kMergeKey = "PDF";

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

bool isCandidate(const std::string& path, const std::vector<std::string>& formats) {
    return std::find(formats.begin(), formats.end(), pathExtension(path)) != formats.end();
}

// What one command has to tell once, however many files it touched.
struct RunState {
    bool iconSetFailed = false;
};

void convertOne(std::string_view key, const std::string& path, const ConvertEvents& events,
                RunState& state) {
    const bool iconSet = isIconSetKey(key);
    // Re-encoding reads each file once, top to bottom; icon sets resample it many times.
    const std::optional<RCImage> image =
        RCImage::load(path, iconSet ? RCImage::Access::Random : RCImage::Access::Sequential);
    if (!image || image->empty()) {
        return;
    }
    const std::string base = deletingPathExtension(path);
    if (iconSet) {
        const IconSetResult result = createIconToPath(*image, base, iconSetTypeForKey(key));
        switch (result.status) {
            case IconSetResult::Status::Written:
                if (events.written) {
                    events.written(result.path);
                }
                break;
            case IconSetResult::Status::NotSquare:
                if (events.alert) {
                    events.alert(notSquareAlert(result.width, result.height));
                }
                break;
            case IconSetResult::Status::WriteFailed:
                if (!state.iconSetFailed && events.failed) {
                    events.failed(path);
                }
                state.iconSetFailed = true;
                break;
        }
        return;
    }
    if (toLower(pathExtension(path)) == "pdf") {
        const std::optional<std::string> folder =
            extractImageFromPDF(path, std::string(key), events.pages);
        if (folder && events.written) {
            events.written(*folder);
        }
        return;
    }
    // "JPEG" writes the usual ".jpg"; every other key its own name in lowercase.
    const std::string ext = key == "JPEG" ? "jpg" : toLower(key);
    std::string destination = base + "." + ext;
    // Never over the source itself (a JPEG re-encoded onto itself loses quality for good)
    // nor over any other existing file.
    if (exists(destination)) {
        destination = uniquePath(destination);
    }
    if (image->saveImageWithExt(ext, destination)) {
        if (events.written) {
            events.written(destination);
        }
    } else if (events.failed) {
        events.failed(path);
    }
}

void convertItem(FinderSync& sync, const CommandCall& call) {
    if (!call.parent) {
        return;
    }
    const std::string key = call.item.key;
    const std::vector<std::string> formats = call.parent->formats;
    const std::vector<std::string> paths = sync.selectPaths();
    ConvertEvents events;
    events.failed = [&sync](const std::string& source) {
        foreQueue().post([&sync, source] { sync.showAlert(convertFailAlert(source)); }, {});
    };
    events.alert = [&sync](const AlertRequest& alert) {
        foreQueue().post([&sync, alert] { sync.showAlert(alert); }, {});
    };
    events.pages = [&sync](int count, int done) {
        if (count == 0) {
            return;
        }
        const double fraction = static_cast<double>(done) / static_cast<double>(count);
        foreQueue().post([&sync, fraction] { sync.ports().progress->setPercent(fraction); }, {});
    };
    sync.beginBusy();
    sync.runInBackground(
        [key, paths, formats, events] { convertPaths(key, paths, formats, events); },
        [&sync] { sync.endBusy(); });
}

}  // namespace

bool isConvertKey(std::string_view key) {
    return std::any_of(kConvertTargets.begin(), kConvertTargets.end(),
                       [key](MenuKey target) { return menuKeyText(target) == key; });
}

bool isIconSetKey(std::string_view key) {
    return key.find("AppIcon") != std::string_view::npos;
}

void convertPaths(std::string_view key, const std::vector<std::string>& paths,
                  const std::vector<std::string>& formats, const ConvertEvents& events) {
    if (key == kMergeKey) {
        const std::optional<std::string> merged = mergeToPDF(paths);
        if (merged && events.written) {
            events.written(*merged);
        }
        return;
    }
    RunState state;
    for (const std::string& path : paths) {
        if (isCandidate(path, formats)) {
            convertOne(key, path, events, state);
        }
    }
}

AlertRequest convertFailAlert(const std::string& source) {
    AlertRequest request;
    request.message = localized("Convert Fail");
    request.informative = localizedFormat("Failed Item Tip", {lastPathComponent(source)});
    request.buttons = {localized("OK")};
    request.style = AlertStyle::Warning;
    return request;
}

AlertRequest notSquareAlert(int width, int height) {
    AlertRequest request;
    request.message = localized("Convert Fail");
    request.informative = localizedFormat("Convert Icns image invalid",
                                          {std::to_string(width), std::to_string(height)});
    request.buttons = {localized("OK")};
    request.style = AlertStyle::Warning;
    return request;
}

void registerConvertCommands(CommandTable& table) {
    table.set(CommandId::Convert, &convertItem);
}

}  // namespace tf

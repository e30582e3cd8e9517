// `trackfolio-sync convert`: the "Convert to" targets for scripts and tests, in the
// foreground. Prints each file or folder written, one per line.
#include <filesystem>

#include "cli/command_cli.h"
#include "cli/sync_cli.h"
#include "commands/images/convert_commands.h"
#include "model/menu_keys.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;
constexpr const char* kConvertUsage =
    "usage: trackfolio-sync convert --to PNG|JPEG|JP2|TIFF|BMP|GIF|PDF|\"AppIcon.icns\"|"
    "\"OSX AppIconset\"|\"iOS AppIconset\"|\"iWatch AppIconset\"|\"Android AppIconset\" PATH...";

int bad(std::ostream& err, const std::string& message) {
    err << "trackfolio-sync: " << oneLine(message, 400) << "\n";
    return kBadUsage;
}

}  // namespace

int runConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string key;
    std::vector<std::string> paths;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.empty() || arg[0] != '-') {
            std::string error;
            const std::optional<std::string> path = commandLinePath(arg, error);
            if (!path) {
                return bad(err, error);
            }
            std::error_code ec;
            if (!std::filesystem::exists(std::filesystem::symlink_status(*path, ec))) {
                return bad(err, "no such file: " + arg);
            }
            paths.push_back(*path);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--help" || arg == "-h") {
            out << kConvertUsage << "\n";
            return 0;
        } else if (arg == "--to" && i + 1 < args.size()) {
            key = args[++i];
        } else {
            return bad(err, kConvertUsage);
        }
    }
    if (key.empty() || paths.empty()) {
        return bad(err, kConvertUsage);
    }
    if (!isConvertKey(key)) {
        return bad(err, "unknown target \"" + key + "\"; " + kConvertUsage);
    }

    const std::span<const std::string_view> known = menuKeyRow(MenuKey::ConvertTo).formats;
    const std::vector<std::string> formats(known.begin(), known.end());
    int status = 0;
    int written = 0;
    ConvertEvents events;
    events.written = [&](const std::string& path) {
        out << path << "\n";
        ++written;
    };
    events.failed = [&](const std::string& source) {
        err << "trackfolio-sync: cannot convert " << oneLine(source, 300) << "\n";
        status = kFailed;
    };
    events.alert = [&](const AlertRequest& alert) {
        err << "trackfolio-sync: " << oneLine(alert.message + " " + alert.informative, 400) << "\n";
        status = kFailed;
    };
    convertPaths(key, paths, formats, events);
    if (written == 0 && status == 0) {
        err << "trackfolio-sync: nothing converted (no readable file of a convertible type)\n";
        status = kFailed;
    }
    return status;
}

}  // namespace tf

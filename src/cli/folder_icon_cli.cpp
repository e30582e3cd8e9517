// `trackfolio-sync folder-icon`: gives folders a custom icon or removes it, as the "Folder
// Icon" and "Recover Icon" entries do, for scripts and tests.
#include <filesystem>
#include <string_view>

#include "cli/command_cli.h"
#include "commands/images/icon_commands.h"
#include "images/rc_image.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr int kFailed = 1;
constexpr int kBadInput = 2;
constexpr std::string_view kFolderIconUsage =
    "usage: trackfolio-sync folder-icon (--set IMAGE | --recover) DIR...";

int complain(std::ostream& err, std::string_view message, int status) {
    err << "trackfolio-sync: " << oneLine(message, 400) << "\n";
    return status;
}

}  // namespace

int runFolderIconCommand(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
    std::optional<std::string> image;
    bool recover = false;
    std::vector<std::string> folders;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.empty() || arg[0] != '-') {
            folders.push_back(arg);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--help" || arg == "-h") {
            out << kFolderIconUsage << "\n";
            return 0;
        } else if (arg == "--set" && i + 1 < args.size() && !image) {
            image = args[++i];
        } else if (arg == "--recover") {
            recover = true;
        } else {
            return complain(err,
                            "unknown option " + arg + "; see trackfolio-sync folder-icon --help",
                            kBadInput);
        }
    }
    if (recover == image.has_value() || folders.empty())
        return complain(err, "give --set IMAGE or --recover, and folders; see --help", kBadInput);
    std::error_code error;
    for (const std::string& folder : folders) {
        if (!std::filesystem::is_directory(folder, error))
            return complain(err, "not a folder: " + folder, kBadInput);
    }
    std::optional<std::string> stored;
    if (image) {
        if (!RCImage::load(*image))
            return complain(err, "not an image: " + *image, kBadInput);
        stored = folderIconImageFromFile(std::filesystem::absolute(*image).string());
        if (!stored)
            return complain(err, "cannot store the image in the folder-icon folder", kFailed);
    }
    std::vector<std::string> absolute;
    for (const std::string& folder : folders)
        absolute.push_back(std::filesystem::absolute(folder).lexically_normal().string());
    const std::vector<std::string> failed = applyFolderIcon(absolute, stored);
    for (const std::string& folder : failed)
        err << "trackfolio-sync: " << oneLine("icon not changed: " + folder, 400) << "\n";
    return failed.empty() ? 0 : kFailed;
}

}  // namespace tf

#include "cli/sync_cli.h"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>

#include "cli/command_cli.h"
#include "cli/headless_session.h"
#include "cli/pasteboard_cli.h"
#include "engine/menu_tree.h"
#include "model/json_value.h"
#include "model/menu_manager.h"
#include "model/product.h"
#include "util/file_uri.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr int kBadInput = 2;

const char* const kUsage =
    "usage: trackfolio-sync catalogue [main|templates|apps|paths|scripts|icons]\n"
    "       trackfolio-sync menu [--kind items|container|sidebar|toolbar] [--target DIR]\n"
    "                            [--json] [PATH...]\n"
    "       trackfolio-sync run --tag N [--kind KIND] [--target DIR] [--answers FILE]\n"
    "                           [--transcript FILE] [PATH...]\n"
    "       trackfolio-sync popup [--target DIR] [PATH...]\n"
    "       trackfolio-sync pasteboard < TEXT\n"
    "       trackfolio-sync convert --to KEY PATH...   (KEY: PNG, JPEG, JP2, TIFF, BMP, GIF,\n"
    "                            PDF, AppIcon.icns, OSX|iOS|iWatch|Android AppIconset)\n"
    "       trackfolio-sync unzip [--password-file FILE] [--overwrite] ARCHIVE DEST\n"
    "       trackfolio-sync unzip --check [--password-file FILE] ARCHIVE\n"
    "       trackfolio-sync zip [--password-file FILE] [--skip-junk] -o OUT PATH...\n"
    "       trackfolio-sync folder-icon (--set IMAGE | --recover) DIR...\n"
    "       trackfolio-sync serve\n"
    "       trackfolio-sync --version\n";

// Every refusal is one line, whatever the input held.
int fail(std::ostream& err, const std::string& message) {
    err << "trackfolio-sync: " << oneLine(message, 400) << "\n";
    return kBadInput;
}

int usageError(std::ostream& err) {
    return fail(err, "unrecognised command; see trackfolio-sync --help");
}

int catalogueCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string list = args.size() > 1 ? args[1] : "main";
    if (args.size() > 2) {
        return usageError(err);
    }
    RCMenuManager& manager = RCMenuManager::sharedInstance();
    std::vector<RCMenuItem> items;
    if (list == "main") {
        items = manager.menuItemArray();
    } else if (list == "templates") {
        items = manager.newFileTemplateMenuArray(false);
    } else if (list == "apps") {
        items = manager.commonAppMenuArray();
    } else if (list == "paths") {
        items = manager.commonPathMenuArray();
    } else if (list == "scripts") {
        items = manager.commonScriptMenuArray();
    } else if (list == "icons") {
        items = manager.folderIconMenuArray();
    } else {
        return fail(
            err, "unknown list \"" + list + "\" (main, templates, apps, paths, scripts or icons)");
    }
    nlohmann::json records = nlohmann::json::array();
    for (const RCMenuItem& item : items) {
        records.push_back(toJson(item));
    }
    out << dumpJson(records) << "\n";
    return 0;
}

// The selection options shared by `menu` and `run`.
struct MenuOptions {
    std::optional<MenuKind> kind;
    std::string target;
    std::vector<std::string> paths;
    bool json = false;
    std::optional<std::int64_t> tag;
    std::string answers;
    std::string transcript;
};

std::optional<MenuOptions> parseMenuOptions(const std::vector<std::string>& args, bool forRun,
                                            std::string& error) {
    MenuOptions options;
    bool endOfOptions = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        if (endOfOptions || !startsWith(arg, "--")) {
            const std::optional<std::string> path = commandLinePath(arg, error);
            if (!path) {
                return std::nullopt;
            }
            options.paths.push_back(*path);
        } else if (arg == "--") {
            endOfOptions = true;
        } else if (arg == "--kind") {
            std::string name;
            if (!value(name)) {
                return std::nullopt;
            }
            options.kind = menuKindFromName(name);
            if (!options.kind) {
                error = "unknown menu kind \"" + name + "\" (items, container, sidebar or toolbar)";
                return std::nullopt;
            }
        } else if (arg == "--target") {
            std::string target;
            if (!value(target)) {
                return std::nullopt;
            }
            const std::optional<std::string> path = commandLinePath(target, error);
            if (!path) {
                return std::nullopt;
            }
            options.target = *path;
        } else if (arg == "--json" && !forRun) {
            options.json = true;
        } else if (arg == "--tag" && forRun) {
            std::string text;
            if (!value(text)) {
                return std::nullopt;
            }
            std::int64_t tag = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), tag);
            if (ec != std::errc() || end != text.data() + text.size()) {
                error = "--tag takes a whole number, not \"" + text + "\"";
                return std::nullopt;
            }
            options.tag = tag;
        } else if (arg == "--answers" && forRun) {
            if (!value(options.answers)) {
                return std::nullopt;
            }
        } else if (arg == "--transcript" && forRun) {
            if (!value(options.transcript)) {
                return std::nullopt;
            }
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (forRun && !options.tag) {
        error = "run needs --tag N (see trackfolio-sync menu)";
        return std::nullopt;
    }
    if (!options.kind) {
        options.kind = options.paths.empty() ? MenuKind::Container : MenuKind::Items;
    }
    if (options.target.empty()) {
        // Without a folder given, the menu is for the folder that holds the first item, or
        // the working folder.
        std::error_code ec;
        options.target = options.paths.empty()
                             ? std::filesystem::current_path(ec).string()
                             : std::filesystem::path(options.paths.front()).parent_path().string();
    }
    return options;
}

int menuCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string error;
    const std::optional<MenuOptions> options = parseMenuOptions(args, false, error);
    if (!options) {
        return fail(err, error);
    }
    Transcript transcript;
    // Building a menu starts nothing, and the real desktop says which applications to offer.
    HeadlessSession session(AnswerScript(), transcript, true);
    session.sync().setSelectedItemURLs(options->paths);
    session.sync().setTargetURL(options->target);
    const MenuList menu = session.sync().menuForMenuKind(*options->kind);
    if (options->json) {
        out << dumpJson(menuToJson(menu)) << "\n";
    } else {
        printMenu(menu, out);
    }
    return 0;
}

int runCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string error;
    const std::optional<MenuOptions> options = parseMenuOptions(args, true, error);
    if (!options) {
        return fail(err, error);
    }
    AnswerScript answers;
    if (!options->answers.empty()) {
        std::optional<AnswerScript> loaded = AnswerScript::load(options->answers, error);
        if (!loaded) {
            return fail(err, error);
        }
        answers = std::move(*loaded);
    }
    // Without a transcript file the lines go to standard output, for scripts to read.
    Transcript transcript(options->transcript.empty() ? &out : nullptr);
    if (!options->transcript.empty() && !transcript.openFile(options->transcript, error)) {
        return fail(err, error);
    }
    HeadlessSession session(std::move(answers), transcript, true);
    FinderSync& sync = session.sync();
    sync.setSelectedItemURLs(options->paths);
    sync.setTargetURL(options->target);
    sync.menuForMenuKind(*options->kind);
    if (!sync.activate(sync.menuId(), *options->tag)) {
        return fail(err, "tag " + std::to_string(*options->tag) +
                             " is not in this menu (see trackfolio-sync menu)");
    }
    session.waitUntilIdle();
    return 0;
}

}  // namespace

std::optional<std::string> commandLinePath(const std::string& text, std::string& error) {
    std::string path = text;
    if (startsWith(text, "file://")) {
        std::string reason;
        std::optional<std::string> decoded = localPathFromUri(text, &reason);
        if (!decoded) {
            error = reason + ": " + oneLine(text);
            return std::nullopt;
        }
        path = std::move(*decoded);
    } else if (std::string reason; !isUsablePlainPath(path, &reason)) {
        error = text.empty() ? reason : reason + ": " + oneLine(text);
        return std::nullopt;
    }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

int runSyncCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "help") {
        out << kUsage;
        return 0;
    }
    if (args[0] == "--version" && args.size() == 1) {
        out << "trackfolio-sync " << kProductVersion << "\n";
        return 0;
    }
    if (args[0] == "catalogue") {
        return catalogueCommand(args, out, err);
    }
    if (args[0] == "alert") {
        return runAlertCommand(args, out, err);
    }
    if (args[0] == "hash") {
        return runHashCommand(args, out, err);
    }
    if (args[0] == "convert") {
        return runConvertCommand(args, out, err);
    }
    if (args[0] == "zip") {
        return runZipCommand(args, out, err);
    }
    if (args[0] == "folder-icon") {
        return runFolderIconCommand(args, out, err);
    }
    if (args[0] == "menu") {
        return menuCommand(args, out, err);
    }
    if (args[0] == "run") {
        return runCommand(args, out, err);
    }
    if (args[0] == "pasteboard") {
        return runPasteboardCommand(args, std::cin, out, err);
    }
    if (args[0] == "popup") {
        // Only the windowed service program shows menus (see sync_main.cpp).
        return fail(err, "popup needs a display and the menu service program");
    }
    if (args[0] == "unzip") {
        return runUnzipCommand(args, out, err);
    }
    return usageError(err);
}

}  // namespace tf

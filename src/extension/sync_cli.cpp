#include "extension/sync_cli.h"

#include <map>
#include <ostream>

#include "model/json_value.h"
#include "model/menu_manager.h"
#include "model/product.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr int kBadInput = 2;

const char* const kUsage =
    "usage: trackfolio-sync catalogue [main|templates|apps|paths|scripts|icons]\n"
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

}  // namespace

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
    return usageError(err);
}

}  // namespace tf

#include "cli/host_cli.h"

#include <ostream>

#include "model/default_data.h"
#include "model/json_value.h"
#include "model/menu_manager.h"
#include "model/product.h"
#include "model/settings_keys.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr int kBadInput = 2;

const char* const kUsage =
    "usage: trackfolio setup\n"
    "       trackfolio settings list\n"
    "       trackfolio settings get KEY\n"
    "       trackfolio settings set KEY JSON\n"
    "       trackfolio settings unset KEY\n"
    "       trackfolio --version\n";

// Every refusal is one line, whatever the input held.
int fail(std::ostream& err, const std::string& message) {
    err << "trackfolio: " << oneLine(message, 400) << "\n";
    return kBadInput;
}

int usageError(std::ostream& err) {
    return fail(err, "unrecognised command; see trackfolio --help");
}

int settingsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    SettingsStore& store = RCMenuManager::sharedInstance().sharedDefaults();
    const std::string verb = args.size() > 1 ? args[1] : "";
    const auto expect = [&](std::size_t count) { return args.size() == count; };

    if (verb == "list" && expect(2)) {
        out << dumpJson(toJson(Value(*store.snapshot()))) << "\n";
        return 0;
    }
    if (verb == "get" && expect(3)) {
        const std::string& key = args[2];
        const Value stored = store.value(key);
        if (!stored.isNull()) {
            out << dumpJson(toJson(stored)) << "\n";
            return 0;
        }
        if (const auto info = knownSettingKey(key)) {
            out << dumpJson(toJson(defaultValueFor(*info))) << "\n";
            return 0;
        }
        return fail(err, "unknown key \"" + key + "\"");
    }
    if (verb == "set" && expect(4)) {
        const std::string& key = args[2];
        std::string error;
        const auto value = valueFromJsonText(args[3], error);
        if (!value) {
            return fail(err, "\"" + key + "\": " + error);
        }
        if (const std::string problem = settingValueProblem(key, *value); !problem.empty()) {
            return fail(err, problem);
        }
        const WriteResult written = store.set(key, *value);
        return written ? 0 : fail(err, written.error);
    }
    if (verb == "unset" && expect(3)) {
        const std::string& key = args[2];
        if (!store.contains(key) && !knownSettingKey(key)) {
            return fail(err, "unknown key \"" + key + "\"");
        }
        const WriteResult written = store.remove(key);
        return written ? 0 : fail(err, written.error);
    }
    return usageError(err);
}

}  // namespace

int runHostCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "help") {
        out << kUsage;
        return 0;
    }
    if (args[0] == "--version" && args.size() == 1) {
        out << "trackfolio " << kProductVersion << "\n";
        return 0;
    }
    if (args[0] == "setup" && args.size() == 1) {
        const WriteResult written = RCDefaultData::setup();
        return written ? 0 : fail(err, written.error);
    }
    if (args[0] == "settings") {
        return settingsCommand(args, out, err);
    }
    return usageError(err);
}

}  // namespace tf

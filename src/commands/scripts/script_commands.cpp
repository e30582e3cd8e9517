// Scripts: the catalogue's own scripts (with placeholders filled in from the selection) and
// "Execute Script", which runs the selected script files themselves.
#include "commands/scripts/script_commands.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>

#include "commands/builtin_commands.h"
#include "commands/common/alerts.h"
#include "engine/finder_sync.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

// Where a script started for this selection runs: beside the first selected item, or in
// the folder shown when the menu came from its background.
std::string workingFolderFor(FinderSync& sync, const std::vector<std::string>& selection) {
    if (selection.empty()) {
        return {};
    }
    return sync.isSelectURL() ? deletingLastPathComponent(selection.front()) : selection.front();
}

// Scripts call back into trackfolio-sync (the welcome script's alert, the clipboard): tell
// them where it is, and let them find it by name when its folder is not on PATH (a build
// tree, a private prefix). The menu service learns it from the trackfolio-sync that started
// it; other programs (the tests) leave both alone.
std::vector<std::pair<std::string, std::string>> scriptEnvironment() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string program;
    if (!ec && self.filename() == "trackfolio-sync") {
        program = self.string();
    } else if (const char* given = std::getenv("TRACKFOLIO_SYNC");
               !ec && self.filename() == "trackfolio-sync-service" && given != nullptr) {
        program = given;
    }
    if (program.empty()) {
        return {};
    }
    std::vector<std::pair<std::string, std::string>> environment{{"TRACKFOLIO_SYNC", program}};
    const char* path = std::getenv("PATH");
    if (path != nullptr && *path != '\0' && !findProgram("trackfolio-sync")) {
        environment.emplace_back("PATH", std::string(path) + ":" +
                                             std::filesystem::path(program).parent_path().string());
    }
    return environment;
}

std::string executeErrorText(const std::string& script) {
    return script + "\n" + localized("Error Execute Tip");
}

// A catalogue script's text as a program: "sh" scripts with bash, the second kind (Python 3
// source) with python3.
ProcessRequest scriptTextRequest(bool shell, const std::string& text, const std::string& folder) {
    ProcessRequest request;
    request.argv = {shell ? "/bin/bash" : "python3", "-c", text};
    request.workingDirectory = folder;
    request.environment = scriptEnvironment();
    return request;
}

// What one run shows when it has ended: a shell script its output, or its text and the tip
// when it failed; the second kind only a failure, with its error output.
void reportScriptText(FinderSync& sync, bool shell, const std::string& text,
                      const ProcessResult& result) {
    if (shell) {
        if (!result.succeeded()) {
            alertWithMsg(sync, executeErrorText(text));
        } else if (isValid(result.out)) {
            alertWithMsg(sync, result.out);
        }
        return;
    }
    if (result.succeeded()) {
        return;
    }
    const std::string error = trim(result.err);
    alertWithMsg(sync, isValid(error) ? error : localized("Error Execute Tip"));
}

// The scripts run off the main queue, so a slow one freezes no menu; the runs for the
// selected items go one after another, each shown when it ends, in order.
void executeCatalogueScript(FinderSync& sync, const CommandCall& call) {
    const RCMenuItem& script = call.item;
    const std::vector<std::string> selection = sync.selectURLs();
    const std::string folder = workingFolderFor(sync, selection);
    std::vector<std::string> texts;
    if (!hasScriptPlaceholder(script.script)) {
        texts.push_back(script.script);
    } else {
        for (const std::string& path : selection) {
            std::optional<std::string> text =
                expandScriptPlaceholders(script.script, path, scriptLanguageFor(script.ext));
            if (!text) {  // this item's name cannot be passed exactly: it is not run
                alertWithMsg(sync, path + "\n" + executeErrorText(script.script));
                continue;
            }
            texts.push_back(std::move(*text));
        }
    }
    const bool shell = script.ext == "sh";
    std::vector<ProcessRequest> requests;
    for (const std::string& text : texts) {
        requests.push_back(scriptTextRequest(shell, text, folder));
    }
    sync.runPrograms(std::move(requests), [&sync, shell, texts = std::move(texts)](
                                              std::size_t index, const ProcessResult& result) {
        reportScriptText(sync, shell, texts[index], result);
    });
}

// The program that runs a script file of this (lower-cased) extension; empty for files
// that are not run.
std::vector<std::string> scriptFileCommand(const std::string& ext, const std::string& path) {
    if (ext == "sh") {
        return {"/bin/sh", path};
    }
    if (ext == "py") {
        return {"python3", path};
    }
    return {};
}

void executeSelectedScripts(FinderSync& sync, const CommandCall&) {
    std::vector<ProcessRequest> requests;
    for (const std::string& path : sync.selectURLs()) {
        std::vector<std::string> argv = scriptFileCommand(toLower(pathExtension(path)), path);
        if (argv.empty()) {
            continue;
        }
        ProcessRequest request;
        request.argv = std::move(argv);
        request.workingDirectory = deletingLastPathComponent(path);
        requests.push_back(std::move(request));
    }
    sync.runPrograms(std::move(requests), [&sync](std::size_t, const ProcessResult& result) {
        if (!result.succeeded()) {
            alertWithMsg(sync, localized("Error Execute Tip"));
        } else if (isValid(result.out)) {
            alertWithMsg(sync, result.out);
        }
    });
}

}  // namespace

void registerScriptCommands(CommandTable& table) {
    table.set(CommandId::ExecuteScript, &executeCatalogueScript);
    table.set(CommandId::ExecuteSelectedScripts, &executeSelectedScripts);
}

}  // namespace tf

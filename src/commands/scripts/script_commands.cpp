// Scripts: the catalogue's own scripts (with placeholders filled in from the selection) and
// "Execute Script", which runs the selected script files themselves.
#include "commands/scripts/script_commands.h"

#include <filesystem>
#include <memory>
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

// Scripts call back into this program (the welcome script's alert); tell them where it is
// when it is not on PATH. Other programs (the tests) leave the variable alone.
std::vector<std::pair<std::string, std::string>> scriptEnvironment() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || self.filename() != "trackfolio-sync") {
        return {};
    }
    return {{"TRACKFOLIO_SYNC", self.string()}};
}

std::string executeErrorText(const std::string& script) {
    return script + "\n" + localized("Error Execute Tip");
}

// A shell script of the catalogue: the extension waits for it, as the user expects its
// output (or its failure) right after the click.
void runShellText(FinderSync& sync, const std::string& text, const std::string& folder) {
    ProcessRequest request;
    request.argv = {"/bin/bash", "-c", text};
    request.workingDirectory = folder;
    request.environment = scriptEnvironment();
    const ProcessResult result = sync.ports().processes->run(request);
    if (!result.succeeded()) {
        alertWithMsg(sync, executeErrorText(text));
    } else if (isValid(result.out)) {
        alertWithMsg(sync, result.out);
    }
}

// The second kind of catalogue script (Python 3 source): it runs on the background queue,
// so successive runs keep their order, and only a failure is reported.
void runPythonText(FinderSync& sync, const std::string& text, const std::string& folder) {
    auto result = std::make_shared<ProcessResult>();
    ProcessRequest request;
    request.argv = {"python3", "-c", text};
    request.workingDirectory = folder;
    request.environment = scriptEnvironment();
    sync.runInBackground([&sync, request = std::move(request),
                          result] { *result = sync.ports().processes->run(request); },
                         [&sync, result] {
                             if (result->succeeded()) {
                                 return;
                             }
                             const std::string error = trim(result->err);
                             alertWithMsg(sync,
                                          isValid(error) ? error : localized("Error Execute Tip"));
                         });
}

void runScriptText(FinderSync& sync, const RCMenuItem& script, const std::string& text,
                   const std::string& folder) {
    if (script.ext == "sh") {
        runShellText(sync, text, folder);
    } else {
        runPythonText(sync, text, folder);
    }
}

void executeCatalogueScript(FinderSync& sync, const CommandCall& call) {
    const RCMenuItem& script = call.item;
    const std::vector<std::string> selection = sync.selectURLs();
    const std::string folder = workingFolderFor(sync, selection);
    if (!hasScriptPlaceholder(script.script)) {
        runScriptText(sync, script, script.script, folder);
        return;
    }
    for (const std::string& path : selection) {
        const std::optional<std::string> text =
            expandScriptPlaceholders(script.script, path, scriptLanguageFor(script.ext));
        if (!text) {  // this item's name cannot be passed exactly: it is not run
            alertWithMsg(sync, path + "\n" + executeErrorText(script.script));
            continue;
        }
        runScriptText(sync, script, *text, folder);
    }
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
    for (const std::string& path : sync.selectURLs()) {
        std::vector<std::string> argv = scriptFileCommand(toLower(pathExtension(path)), path);
        if (argv.empty()) {
            continue;
        }
        ProcessRequest request;
        request.argv = std::move(argv);
        request.workingDirectory = deletingLastPathComponent(path);
        auto result = std::make_shared<ProcessResult>();
        sync.runInBackground([&sync, request = std::move(request),
                              result] { *result = sync.ports().processes->run(request); },
                             [&sync, result] {
                                 if (!result->succeeded()) {
                                     alertWithMsg(sync, localized("Error Execute Tip"));
                                 } else if (isValid(result->out)) {
                                     alertWithMsg(sync, result->out);
                                 }
                             });
    }
}

}  // namespace

void registerScriptCommands(CommandTable& table) {
    table.set(CommandId::ExecuteScript, &executeCatalogueScript);
    table.set(CommandId::ExecuteSelectedScripts, &executeSelectedScripts);
}

}  // namespace tf

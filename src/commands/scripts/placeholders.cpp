// Script placeholders: the values of an item, and the lexer of the script's language.
#include "commands/scripts/placeholders.h"

#include "commands/scripts/placeholder_lexers.h"
#include "model/file_record.h"

namespace tf {

namespace placeholders {

std::optional<std::size_t> placeholderAt(std::string_view text, std::size_t at) {
    if (text[at] != '@') {
        return std::nullopt;
    }
    for (std::size_t k = 0; k < kNames.size(); ++k) {
        if (text.substr(at).starts_with(kNames[k])) {
            return k;
        }
    }
    return std::nullopt;
}

}  // namespace placeholders

ScriptLanguage scriptLanguageFor(std::string_view ext) {
    return ext == "sh" ? ScriptLanguage::Shell : ScriptLanguage::Python;
}

bool hasScriptPlaceholder(std::string_view script) {
    for (std::size_t at = script.find('@'); at != std::string_view::npos;
         at = script.find('@', at + 1)) {
        if (placeholders::placeholderAt(script, at)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> expandScriptPlaceholders(std::string_view script,
                                                    const std::string& path,
                                                    ScriptLanguage language) {
    const RCFile file(path);
    const placeholders::Values values{file.path(), file.folder(), file.filename(),
                                      file.simpleName(), file.ext()};
    return language == ScriptLanguage::Shell ? placeholders::expandShell(script, values)
                                             : placeholders::expandPython(script, values);
}

}  // namespace tf

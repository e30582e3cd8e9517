// A reader for the subset of gettext .po files our tables use: msgctxt, msgid, msgstr,
// concatenated string lines, C escapes, comments. Plural forms are read but only msgstr[0]
// is kept. Untranslated entries (empty msgstr) and the header entry are left out.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace tf {

// (context, key) -> text; the context is empty for entries without msgctxt.
using PoCatalog = std::map<std::pair<std::string, std::string>, std::string, std::less<>>;

PoCatalog parsePo(std::string_view text);

}  // namespace tf

// A reader for the subset of gettext .po files our tables use: msgctxt, msgid, msgid_plural,
// msgstr and msgstr[n], concatenated string lines, C escapes, comments, and the header's
// Plural-Forms. Untranslated entries (an empty msgstr or plural form) and the header entry
// are left out, so such keys fall back to another table.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/plural_forms.h"

namespace tf {

struct PoCatalog {
    // (context, key); the context is empty for entries without msgctxt.
    using Key = std::pair<std::string, std::string>;

    // The text of every entry; for a plural entry its first form, as gettext's singular
    // lookup gives.
    std::map<Key, std::string, std::less<>> texts;
    // The forms of plural entries, keyed by their singular msgid.
    std::map<Key, std::vector<std::string>, std::less<>> plurals;
    // From the header; English's rule when the header has none or an unreadable one.
    PluralRule pluralRule;
};

PoCatalog parsePo(std::string_view text);

}  // namespace tf

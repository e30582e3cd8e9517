// The strings table: every user-visible text is looked up by key; a key without a
// translation is its own text. Tables are gettext .po files embedded in the programs (every
// data/po/*.po); a language without one is looked for in the data folder's "po" as well.
// The keywords these functions give xgettext are listed in scripts/l10n.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tf {

// The text for a key in the first of the chosen languages whose table has it, falling back
// to English, then to the key.
std::string localized(std::string_view key);

// True when some table (a chosen language or English) translates the key.
bool hasTranslation(std::string_view key);

// The text for a count: the form the table's Plural-Forms rule picks for it, from the first
// table with a plural entry for `singular`; without one, n == 1 ? singular : plural. The
// count is not filled in: use formatText on the result.
std::string localizedPlural(std::string_view singular, std::string_view plural, std::int64_t count);

// Fills "%@", "%d", "%ld", "%lu", "%i" and "%s" placeholders with args in order ("%%" is a
// percent sign; "%1$@" style positions are honoured so translations may reorder).
// Missing arguments leave the placeholder empty.
std::string formatText(std::string_view format, const std::vector<std::string>& args);

// localized(key) used as a format.
std::string localizedFormat(std::string_view key, const std::vector<std::string>& args);

// The "InfoPlist" table (msgctxt "InfoPlist" in the .po files), e.g. "CFBundleDisplayName".
std::string infoPlistText(std::string_view key);

// "CFBundleDisplayName" of the InfoPlist table: the product's display name.
std::string displayName();

// Chooses the languages, most wanted first ("zh_CN", "fr:de", ...); empty means the whole
// LANGUAGE list, else LC_ALL, LC_MESSAGES or LANG. A region falls back to its language
// (de_AT -> de) when it has no table of its own, and a key the first table lacks is looked
// up in the next. English (or C) ends the list. Takes effect for every later lookup.
void setLanguage(std::string_view language);

// Replaces the embedded tables with (file name, .po text) pairs such as {"zh.po", "..."},
// and the folder of further tables (empty: none), so tests control every table; an empty list
// leaves no table at all. The language is chosen again from the new tables.
void setStringsTablesForTesting(const std::vector<std::pair<std::string, std::string>>& files,
                                const std::filesystem::path& folder = {});
// Goes back to the tables embedded in the program.
void restoreEmbeddedStringsTables();

}  // namespace tf

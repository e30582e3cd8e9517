// The strings table: every user-visible text is looked up by key; a key without a
// translation is its own text. Tables are gettext .po files embedded in the programs.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tf {

// The text for a key in the current language, falling back to English, then to the key.
std::string localized(std::string_view key);

// True when some table (current language or English) translates the key.
bool hasTranslation(std::string_view key);

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

// Chooses the language ("zh_CN", "en", ...); empty means from LANGUAGE, LC_ALL, LC_MESSAGES
// and LANG. Takes effect for every later lookup.
void setLanguage(std::string_view language);

// Replaces the embedded tables with (file name, .po text) pairs such as {"zh.po", "..."},
// so tests control every table; an empty list leaves no table at all. The language is chosen
// again from the new tables.
void setStringsTablesForTesting(const std::vector<std::pair<std::string, std::string>>& files);
// Goes back to the tables embedded in the program.
void restoreEmbeddedStringsTables();

}  // namespace tf

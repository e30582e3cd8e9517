#include "util/strings.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "util/po_file.h"

namespace tf::po {
// Generated at build time from our .po files: (file name such as "en.po", file text).
extern const std::pair<std::string_view, std::string_view> kEmbeddedTexts[];
extern const int kEmbeddedTextCount;
}  // namespace tf::po

namespace tf {

namespace {

constexpr std::string_view kEnglishFile = "en.po";
constexpr std::string_view kInfoPlistContext = "InfoPlist";

// A (context, key) view for looking up a PoCatalog without building a std::pair of strings
// on every menu entry.
struct KeyRef {
    std::string_view context;
    std::string_view key;

    friend bool operator<(const std::pair<std::string, std::string>& stored, const KeyRef& ref) {
        return std::pair<std::string_view, std::string_view>(stored.first, stored.second) <
               std::pair(ref.context, ref.key);
    }
    friend bool operator<(const KeyRef& ref, const std::pair<std::string, std::string>& stored) {
        return std::pair(ref.context, ref.key) <
               std::pair<std::string_view, std::string_view>(stored.first, stored.second);
    }
};

using CatalogPtr = std::shared_ptr<const PoCatalog>;
using CatalogsByFile = std::map<std::string, CatalogPtr, std::less<>>;

// What lookups read: replaced as a whole when the language or the tables change, so a lookup
// never sees half of a change and holds a lock only while copying one pointer.
struct ActiveTables {
    CatalogPtr current;  // null when the language is English or has no table
    CatalogPtr english;
};

std::shared_ptr<const CatalogsByFile> parseFiles(
    const std::vector<std::pair<std::string, std::string>>& files) {
    auto catalogs = std::make_shared<CatalogsByFile>();
    for (const auto& [name, text] : files) {
        (*catalogs)[name] = std::make_shared<const PoCatalog>(parsePo(text));
    }
    return catalogs;
}

std::vector<std::pair<std::string, std::string>> embeddedFiles() {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < po::kEmbeddedTextCount; ++i) {
        files.emplace_back(po::kEmbeddedTexts[i].first, po::kEmbeddedTexts[i].second);
    }
    return files;
}

std::string languageFromEnvironment() {
    if (const char* list = std::getenv("LANGUAGE"); list != nullptr && *list != '\0') {
        std::string_view languages = list;
        std::string_view first = languages.substr(0, languages.find(':'));
        if (!first.empty())
            return std::string(first);
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

// "zh_CN.UTF-8@latin" -> "zh_CN": the encoding and modifier do not choose a table.
std::string languageCode(std::string_view language) {
    std::string code(language.substr(0, language.find_first_of(".@")));
    for (char& c : code) {
        if (c == '-')
            c = '_';
    }
    return code;
}

CatalogPtr findCatalog(const CatalogsByFile& catalogs, std::string_view file) {
    auto it = catalogs.find(file);
    return it == catalogs.end() ? nullptr : it->second;
}

std::shared_ptr<const ActiveTables> chooseTables(const CatalogsByFile& catalogs,
                                                 std::string_view language) {
    auto tables = std::make_shared<ActiveTables>();
    tables->english = findCatalog(catalogs, kEnglishFile);
    std::string code = languageCode(language);
    if (code.empty() || code == "C" || code == "POSIX")
        return tables;

    tables->current = findCatalog(catalogs, code + ".po");
    if (!tables->current) {
        std::size_t underscore = code.find('_');
        if (underscore != std::string::npos) {
            tables->current = findCatalog(catalogs, code.substr(0, underscore) + ".po");
        }
    }
    return tables;
}

class StringsTable {
  public:
    StringsTable() : catalogs_(parseFiles(embeddedFiles())) { choose(); }

    std::shared_ptr<const ActiveTables> tables() const {
        std::lock_guard lock(activeMutex_);
        return active_;
    }

    void setLanguage(std::string_view language) {
        std::lock_guard lock(mutex_);
        language_ = language;
        choose();
    }

    void setFiles(const std::vector<std::pair<std::string, std::string>>& files) {
        std::lock_guard lock(mutex_);
        catalogs_ = parseFiles(files);
        choose();
    }

  private:
    void choose() {
        auto chosen =
            chooseTables(*catalogs_, language_.empty() ? languageFromEnvironment() : language_);
        std::lock_guard lock(activeMutex_);
        active_ = std::move(chosen);
    }

    std::mutex mutex_;  // serialises changes
    std::shared_ptr<const CatalogsByFile> catalogs_;
    std::string language_;
    // A plain mutex rather than std::atomic<std::shared_ptr>: the critical section is one
    // reference-count increment, and sanitizers understand it.
    mutable std::mutex activeMutex_;
    std::shared_ptr<const ActiveTables> active_;
};

StringsTable& stringsTable() {
    static StringsTable table;
    return table;
}

const std::string* lookup(const CatalogPtr& catalog, std::string_view context,
                          std::string_view key) {
    if (!catalog)
        return nullptr;
    auto it = catalog->find(KeyRef{context, key});
    return it == catalog->end() ? nullptr : &it->second;
}

std::string lookupWithFallback(std::string_view context, std::string_view key) {
    std::shared_ptr<const ActiveTables> tables = stringsTable().tables();
    if (const std::string* text = lookup(tables->current, context, key))
        return *text;
    if (const std::string* text = lookup(tables->english, context, key))
        return *text;
    return std::string(key);
}

// Length of the conversion after "%" (and after an "n$" position), or 0 when it is not one
// we fill. Longer forms come first so "%ld" is not read as an unknown "%l".
std::size_t conversionLength(std::string_view rest) {
    for (std::string_view conversion : {"lld", "llu", "ld", "li", "lu", "@", "d", "i", "s", "u"}) {
        if (rest.starts_with(conversion))
            return conversion.size();
    }
    return 0;
}

}  // namespace

std::string localized(std::string_view key) {
    return lookupWithFallback({}, key);
}

bool hasTranslation(std::string_view key) {
    std::shared_ptr<const ActiveTables> tables = stringsTable().tables();
    return lookup(tables->current, {}, key) != nullptr ||
           lookup(tables->english, {}, key) != nullptr;
}

std::string formatText(std::string_view format, const std::vector<std::string>& args) {
    std::string text;
    text.reserve(format.size());
    std::size_t nextArgument = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        std::size_t percent = format.find('%', i);
        if (percent == std::string_view::npos) {
            text += format.substr(i);
            break;
        }
        text += format.substr(i, percent - i);
        i = percent + 1;
        if (i < format.size() && format[i] == '%') {
            text += '%';
            ++i;
            continue;
        }

        // Optional "n$" position.
        std::size_t j = i;
        std::size_t position = 0;
        while (j < format.size() && format[j] >= '0' && format[j] <= '9' && position < 100000) {
            position = position * 10 + static_cast<std::size_t>(format[j] - '0');
            ++j;
        }
        bool positional = j > i && j < format.size() && format[j] == '$' && position > 0;
        std::size_t conversionStart = positional ? j + 1 : i;
        std::size_t length = conversionLength(format.substr(conversionStart));
        if (length == 0) {
            text += '%';  // not a placeholder we fill: copied as it stands
            continue;
        }
        std::size_t index = positional ? position - 1 : nextArgument++;
        if (index < args.size())
            text += args[index];
        i = conversionStart + length;
    }
    return text;
}

std::string localizedFormat(std::string_view key, const std::vector<std::string>& args) {
    return formatText(localized(key), args);
}

std::string infoPlistText(std::string_view key) {
    return lookupWithFallback(kInfoPlistContext, key);
}

std::string displayName() {
    return infoPlistText("CFBundleDisplayName");
}

void setLanguage(std::string_view language) {
    stringsTable().setLanguage(language);
}

void setStringsTablesForTesting(const std::vector<std::pair<std::string, std::string>>& files) {
    stringsTable().setFiles(files);
}

void restoreEmbeddedStringsTables() {
    stringsTable().setFiles(embeddedFiles());
}

}  // namespace tf

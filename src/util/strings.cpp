#include "util/strings.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "util/po_file.h"
#include "util/resources.h"

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

// What lookups read: replaced as a whole when the language or the tables change, so a lookup
// never sees half of a change and holds a lock only while copying one pointer.
struct ActiveTables {
    // The tables of the chosen languages in order, English last; a key none of them has is
    // its own text.
    std::vector<CatalogPtr> chain;
};

// (file name, .po text) of the tables; the embedded ones are views of the program's data.
using TableFiles = std::vector<std::pair<std::string_view, std::string_view>>;

TableFiles embeddedFiles() {
    return TableFiles(po::kEmbeddedTexts, po::kEmbeddedTexts + po::kEmbeddedTextCount);
}

// A catalogue file larger than this is not one of ours.
constexpr std::uintmax_t kMaxCatalogueBytes = 8u << 20;

std::string readCatalogueFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) > kMaxCatalogueBytes || error)
        return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The languages asked for, most wanted first: the whole LANGUAGE list, else the one of
// LC_ALL, LC_MESSAGES or LANG (the first set).
std::string languagesFromEnvironment() {
    if (const char* list = std::getenv("LANGUAGE"); list != nullptr && *list != '\0')
        return list;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

bool isCatalogueNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '@';
}

// The table files that may serve one language, most specific first, as gettext tries them:
// "sr_RS.UTF-8@latin" -> sr_RS@latin.po, sr@latin.po, sr_RS.po, sr.po. The encoding never
// chooses a table; names with other characters (a path, say) choose none.
std::vector<std::string> catalogueNames(std::string_view language) {
    std::size_t at = language.find('@');
    std::string_view modifier = at == std::string_view::npos ? "" : language.substr(at);
    std::string code(language.substr(0, std::min(at, language.find('.'))));
    std::replace(code.begin(), code.end(), '-', '_');
    std::string base = code.substr(0, code.find('_'));
    if (base.empty() || !std::all_of(code.begin(), code.end(), isCatalogueNameCharacter) ||
        !std::all_of(modifier.begin(), modifier.end(), isCatalogueNameCharacter))
        return {};

    std::vector<std::string> names;
    if (!modifier.empty()) {
        names.push_back(code + std::string(modifier) + ".po");
        if (code != base)
            names.push_back(base + std::string(modifier) + ".po");
    }
    names.push_back(code + ".po");
    if (code != base)
        names.push_back(base + ".po");
    return names;
}

class StringsTable {
  public:
    StringsTable() { setEmbeddedFiles(); }

    std::shared_ptr<const ActiveTables> tables() const {
        std::lock_guard lock(activeMutex_);
        return active_;
    }

    void setLanguage(std::string_view language) {
        std::lock_guard lock(mutex_);
        language_ = language;
        choose();
    }

    // The tables in the program, and further ones in the data folder's "po".
    void setEmbeddedFiles() {
        std::lock_guard lock(mutex_);
        ownedFiles_.clear();
        files_ = embeddedFiles();
        folder_.reset();
        parsed_.clear();
        choose();
    }

    // Tables by file name, and the folder of further tables (empty: none).
    void setFiles(std::vector<std::pair<std::string, std::string>> files,
                  std::filesystem::path folder) {
        std::lock_guard lock(mutex_);
        ownedFiles_ = std::move(files);
        files_.assign(ownedFiles_.begin(), ownedFiles_.end());
        folder_ = std::move(folder);
        parsed_.clear();
        choose();
    }

  private:
    // Parsed on first use only: a program shows one or two languages of all it carries. A
    // table in the program wins over a file of the same name in the folder.
    CatalogPtr catalogue(const std::string& name) {
        if (auto it = parsed_.find(name); it != parsed_.end())
            return it->second;
        CatalogPtr catalog;
        auto file = std::find_if(files_.begin(), files_.end(),
                                 [&](const auto& entry) { return entry.first == name; });
        if (file != files_.end()) {
            catalog = std::make_shared<const PoCatalog>(parsePo(file->second));
        } else {
            std::filesystem::path folder = folder_ ? *folder_ : dataFolder() / "po";
            if (!folder.empty()) {
                std::string text = readCatalogueFile(folder / name);
                if (!text.empty())
                    catalog = std::make_shared<const PoCatalog>(parsePo(text));
            }
        }
        parsed_.emplace(name, catalog);
        return catalog;
    }

    void choose() {
        auto chosen = std::make_shared<ActiveTables>();
        std::string languages = language_.empty() ? languagesFromEnvironment() : language_;
        std::string_view rest = languages;
        bool english = false;
        while (!rest.empty() && !english) {
            std::size_t colon = rest.find(':');
            std::string_view language = rest.substr(0, colon);
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
            if (language == "C" || language == "POSIX" || language.starts_with("C.") ||
                language.starts_with("POSIX."))
                break;
            // English ends the list: its table (or the key) is the text of every key the
            // tables before it lack.
            english = language.substr(0, language.find_first_of("_.@-")) == "en";
            for (const std::string& name : catalogueNames(language)) {
                if (CatalogPtr catalog = catalogue(name)) {
                    if (std::find(chosen->chain.begin(), chosen->chain.end(), catalog) ==
                        chosen->chain.end())
                        chosen->chain.push_back(std::move(catalog));
                    break;
                }
            }
        }
        CatalogPtr englishTable = catalogue(std::string(kEnglishFile));
        if (englishTable && std::find(chosen->chain.begin(), chosen->chain.end(), englishTable) ==
                                chosen->chain.end())
            chosen->chain.push_back(std::move(englishTable));
        std::lock_guard lock(activeMutex_);
        active_ = std::move(chosen);
    }

    std::mutex mutex_;  // serialises changes and guards everything below but active_
    std::vector<std::pair<std::string, std::string>> ownedFiles_;  // what files_ views, in tests
    TableFiles files_;
    std::optional<std::filesystem::path> folder_;            // nullopt: the data folder's "po"
    std::map<std::string, CatalogPtr, std::less<>> parsed_;  // null: no such table
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
    auto it = catalog->texts.find(KeyRef{context, key});
    return it == catalog->texts.end() ? nullptr : &it->second;
}

const std::string* lookupInChain(std::string_view context, std::string_view key,
                                 const ActiveTables& tables) {
    for (const CatalogPtr& catalog : tables.chain) {
        if (const std::string* text = lookup(catalog, context, key))
            return text;
    }
    return nullptr;
}

std::string lookupWithFallback(std::string_view context, std::string_view key) {
    std::shared_ptr<const ActiveTables> tables = stringsTable().tables();
    const std::string* text = lookupInChain(context, key, *tables);
    return text != nullptr ? *text : std::string(key);
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
    return lookupInChain({}, key, *tables) != nullptr;
}

std::string localizedPlural(std::string_view singular, std::string_view plural,
                            std::int64_t count) {
    // Rules see the size of the count: a negative count reads like its positive one.
    const std::uint64_t n =
        count < 0 ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
    std::shared_ptr<const ActiveTables> tables = stringsTable().tables();
    for (const CatalogPtr& catalog : tables->chain) {
        auto it = catalog->plurals.find(KeyRef{{}, singular});
        if (it == catalog->plurals.end())
            continue;
        // A catalogue with fewer forms than its own rule asks for leaves the count to the
        // next table rather than showing the wrong form.
        std::size_t form = catalog->pluralRule.formFor(n);
        if (form < it->second.size())
            return it->second[form];
    }
    return std::string(n == 1 ? singular : plural);
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

void setStringsTablesForTesting(const std::vector<std::pair<std::string, std::string>>& files,
                                const std::filesystem::path& folder) {
    stringsTable().setFiles(files, folder);
}

void restoreEmbeddedStringsTables() {
    stringsTable().setEmbeddedFiles();
}

}  // namespace tf

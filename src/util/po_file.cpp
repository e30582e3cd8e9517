#include "util/po_file.h"

#include <optional>
#include <vector>

namespace tf {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The character a one-letter escape stands for; \" \\ \' \? and unknown letters stand for
// themselves.
char letterEscape(char letter) {
    constexpr std::string_view kLetters = "ntrabfv";
    constexpr std::string_view kCharacters = "\n\t\r\a\b\f\v";
    std::size_t at = kLetters.find(letter);
    return at == std::string_view::npos ? letter : kCharacters[at];
}

// Reads one C string literal at the start of `text` (which must begin with a quote) and
// decodes its escapes. Nullopt when it does not start with a quote; an unterminated string
// keeps what was read so one damaged line does not lose the entry.
std::optional<std::string> readQuoted(std::string_view text) {
    if (text.empty() || text.front() != '"')
        return std::nullopt;
    std::string value;
    for (std::size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"')
            break;
        if (c != '\\' || i + 1 >= text.size()) {
            value += c;
            continue;
        }
        char e = text[++i];
        if (e == 'x') {
            int code = 0;
            std::size_t digits = 0;
            while (i + 1 < text.size() && hexValue(text[i + 1]) >= 0 && digits < 2) {
                code = code * 16 + hexValue(text[++i]);
                ++digits;
            }
            value += digits > 0 ? static_cast<char>(code) : 'x';
        } else if (e >= '0' && e <= '7') {
            int code = e - '0';
            for (int digits = 1;
                 digits < 3 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7';
                 ++digits) {
                code = code * 8 + (text[++i] - '0');
            }
            value += static_cast<char>(code);
        } else {
            value += letterEscape(e);
        }
    }
    return value;
}

// The field that continuation lines extend; none for fields that are not kept.
enum class Field { none, context, id, form };

// Plural forms past this index are not kept (no language needs more than six).
constexpr std::size_t kMaxFormIndex = 31;

struct Entry {
    std::optional<std::string> context;
    std::optional<std::string> id;
    bool plural = false;
    std::vector<std::string> forms;  // msgstr, or msgstr[0], msgstr[1] ...
};

// "msgstr" and "msgstr[k]" -> the form index; nullopt for other keywords or large indexes.
std::optional<std::size_t> formIndex(std::string_view keyword) {
    if (keyword == "msgstr")
        return 0;
    if (!keyword.starts_with("msgstr[") || !keyword.ends_with("]") || keyword.size() > 10)
        return std::nullopt;
    std::string_view digits = keyword.substr(7, keyword.size() - 8);
    std::size_t index = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        index = index * 10 + static_cast<std::size_t>(c - '0');
    }
    if (digits.empty() || index > kMaxFormIndex)
        return std::nullopt;
    return index;
}

// The value of "Plural-Forms:" among the header's "Name: value" lines.
void readHeader(PoCatalog& catalog, std::string_view header) {
    constexpr std::string_view kField = "Plural-Forms:";
    while (!header.empty()) {
        std::size_t newline = header.find('\n');
        std::string_view line = trimBlanks(header.substr(0, newline));
        header =
            newline == std::string_view::npos ? std::string_view{} : header.substr(newline + 1);
        if (line.starts_with(kField)) {
            if (std::optional<PluralRule> rule = PluralRule::parse(line.substr(kField.size())))
                catalog.pluralRule = std::move(*rule);
            return;
        }
    }
}

void store(PoCatalog& catalog, Entry& entry) {
    if (entry.id && entry.id->empty()) {
        if (!entry.context && !entry.forms.empty())
            readHeader(catalog, entry.forms[0]);
    } else if (entry.id) {
        // An empty text means "not translated yet": the key must fall back to another table.
        // A plural entry counts only with every form filled in.
        bool translated = !entry.forms.empty();
        for (const std::string& form : entry.forms)
            translated = translated && !form.empty();
        if (translated) {
            PoCatalog::Key key(entry.context.value_or(""), std::move(*entry.id));
            catalog.texts.insert_or_assign(key, entry.forms[0]);
            if (entry.plural) {
                catalog.plurals.insert_or_assign(std::move(key), std::move(entry.forms));
            } else {
                catalog.plurals.erase(key);
            }
        }
    }
    entry = Entry{};
}

}  // namespace

PoCatalog parsePo(std::string_view text) {
    PoCatalog catalog;
    Entry entry;
    Field field = Field::none;
    std::size_t form = 0;

    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    while (!text.empty()) {
        std::size_t newline = text.find('\n');
        std::string_view line = trimBlanks(text.substr(0, newline));
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);

        // Comments, flags (a fuzzy entry is still used) and obsolete "#~" entries.
        if (line.empty() || line.front() == '#')
            continue;

        if (line.front() == '"') {
            std::optional<std::string> more = readQuoted(line);
            switch (field) {
                case Field::context:
                    *entry.context += *more;
                    break;
                case Field::id:
                    *entry.id += *more;
                    break;
                case Field::form:
                    entry.forms[form] += *more;
                    break;
                case Field::none:
                    break;
            }
            continue;
        }

        std::size_t keywordEnd = 0;
        while (keywordEnd < line.size() && !isBlank(line[keywordEnd]) && line[keywordEnd] != '"') {
            ++keywordEnd;
        }
        std::string_view keyword = line.substr(0, keywordEnd);
        std::optional<std::string> value = readQuoted(trimBlanks(line.substr(keywordEnd)));
        if (!value) {
            field = Field::none;
            continue;
        }

        if (keyword == "msgctxt") {
            if (entry.id)
                store(catalog, entry);
            entry.context = std::move(*value);
            field = Field::context;
        } else if (keyword == "msgid") {
            if (entry.id)
                store(catalog, entry);
            entry.id = std::move(*value);
            field = Field::id;
        } else if (keyword == "msgid_plural") {
            entry.plural = true;  // the forms below are what a lookup needs, not this text
            field = Field::none;
        } else if (std::optional<std::size_t> index = formIndex(keyword)) {
            form = *index;
            if (entry.forms.size() <= form)
                entry.forms.resize(form + 1);
            entry.forms[form] = std::move(*value);
            field = Field::form;
        } else {
            field = Field::none;
        }
    }
    store(catalog, entry);
    return catalog;
}

}  // namespace tf

// Reader for the XML property-list encoding. One pass over the text; text content is taken
// byte for byte (no newline or encoding normalisation), so file names that are not valid text
// come back as they were written.
#include <charconv>
#include <cstdint>
#include <string>

#include "model/plist_formats.h"

namespace tf::plist {

namespace {

struct Tag {
    std::string_view name;
    bool closing = false;
    bool empty = false;  // <name/>
};

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

class XmlReader {
  public:
    explicit XmlReader(std::string_view text) : text_(text) {}

    std::optional<Value> document() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
            pos_ = 3;
        }
        if (!skipMisc()) {
            return std::nullopt;
        }
        // The <plist> wrapper is optional on read; a bare value is a property list too.
        const std::size_t rootStart = pos_;
        const std::optional<Tag> root = readTag();
        if (!root || root->closing) {
            return std::nullopt;
        }
        std::optional<Value> value;
        if (root->name == "plist") {
            if (root->empty || !skipMisc()) {
                return std::nullopt;
            }
            value = parseValue(0);
            if (!value || !skipMisc() || !endTag("plist")) {
                return std::nullopt;
            }
        } else {
            pos_ = rootStart;
            value = parseValue(0);
        }
        // A half-written file must not pass: nothing but comments and blanks may follow.
        if (!value || !skipMisc() || pos_ != text_.size()) {
            return std::nullopt;
        }
        return value;
    }

  private:
    bool atEnd() const { return pos_ >= text_.size(); }
    bool startsWith(std::string_view s) const { return text_.substr(pos_, s.size()) == s; }

    // Skips blanks, comments, processing instructions and a document type declaration.
    bool skipMisc() {
        for (;;) {
            while (!atEnd() && isBlank(text_[pos_])) {
                ++pos_;
            }
            if (startsWith("<!--")) {
                if (!skipPast("-->")) {
                    return false;
                }
            } else if (startsWith("<?")) {
                if (!skipPast("?>")) {
                    return false;
                }
            } else if (startsWith("<!DOCTYPE")) {
                // An internal subset in brackets may hold '>' itself.
                const std::size_t close = text_.find('>', pos_);
                if (close == std::string_view::npos) {
                    return false;
                }
                const std::size_t bracket = text_.substr(pos_, close - pos_).find('[');
                if (bracket != std::string_view::npos) {
                    pos_ += bracket;
                    if (!skipPast("]")) {
                        return false;
                    }
                }
                if (!skipPast(">")) {
                    return false;
                }
            } else {
                return true;
            }
        }
    }

    bool skipPast(std::string_view end) {
        const std::size_t at = text_.find(end, pos_);
        if (at == std::string_view::npos) {
            return false;
        }
        pos_ = at + end.size();
        return true;
    }

    // At '<': reads a start, end or empty-element tag, skipping its attributes.
    std::optional<Tag> readTag() {
        if (atEnd() || text_[pos_] != '<') {
            return std::nullopt;
        }
        Tag tag;
        std::size_t i = pos_ + 1;
        if (i < text_.size() && text_[i] == '/') {
            tag.closing = true;
            ++i;
        }
        const std::size_t nameStart = i;
        while (i < text_.size() && !isBlank(text_[i]) && text_[i] != '>' && text_[i] != '/') {
            ++i;
        }
        tag.name = text_.substr(nameStart, i - nameStart);
        if (tag.name.empty()) {
            return std::nullopt;
        }
        char quote = 0;
        for (; i < text_.size(); ++i) {
            const char c = text_[i];
            if (quote != 0) {
                quote = c == quote ? 0 : quote;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                tag.empty = !tag.closing && text_[i - 1] == '/';
                pos_ = i + 1;
                return tag;
            }
        }
        return std::nullopt;
    }

    bool endTag(std::string_view name) {
        const std::optional<Tag> tag = readTag();
        return tag && tag->closing && tag->name == name;
    }

    // Character data up to the element's end tag, with references and CDATA resolved.
    std::optional<std::string> content(std::string_view element) {
        std::string out;
        for (;;) {
            const std::size_t next = text_.find_first_of("<&", pos_);
            if (next == std::string_view::npos) {
                return std::nullopt;
            }
            out.append(text_.substr(pos_, next - pos_));
            pos_ = next;
            if (text_[pos_] == '&') {
                reference(out);
            } else if (startsWith("<![CDATA[")) {
                const std::size_t begin = pos_ + 9;
                if (!skipPast("]]>")) {
                    return std::nullopt;
                }
                out.append(text_.substr(begin, pos_ - 3 - begin));
            } else if (startsWith("<!--")) {
                if (!skipPast("-->")) {
                    return std::nullopt;
                }
            } else {
                if (!endTag(element)) {
                    return std::nullopt;
                }
                return out;
            }
        }
    }

    // An unknown or malformed reference is kept as written.
    void reference(std::string& out) {
        // Only a short window is searched, so a run of bare '&' stays linear.
        const std::size_t length = text_.substr(pos_, 12).find(';');
        if (length == std::string_view::npos) {
            out += '&';
            ++pos_;
            return;
        }
        const std::size_t semicolon = pos_ + length;
        const std::string_view name = text_.substr(pos_ + 1, length - 1);
        static constexpr std::pair<std::string_view, char> kNamed[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        for (const auto& [entity, c] : kNamed) {
            if (name == entity) {
                out += c;
                pos_ = semicolon + 1;
                return;
            }
        }
        if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string_view digits = name.substr(hex ? 2 : 1);
            std::uint32_t code = 0;
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (ec == std::errc() && end == digits.data() + digits.size() && code <= 0x10FFFF) {
                appendUtf8(out, code);
                pos_ = semicolon + 1;
                return;
            }
        }
        out += '&';
        ++pos_;
    }

    std::optional<std::string> textOf(const Tag& tag) {
        if (tag.empty) {
            return std::string();
        }
        return content(tag.name);
    }

    std::optional<Value> parseValue(int depth) {
        if (depth > kMaxNesting) {
            return std::nullopt;
        }
        const std::optional<Tag> tag = readTag();
        if (!tag || tag->closing) {
            return std::nullopt;
        }
        const std::string_view name = tag->name;
        if (name == "dict") {
            return tag->empty ? Value(Dict{}) : parseDict(depth);
        }
        if (name == "array") {
            return tag->empty ? Value(Array{}) : parseArray(depth);
        }
        if (name == "true" || name == "false") {
            if (!tag->empty && !endTag(name)) {
                return std::nullopt;
            }
            return Value(name == "true");
        }
        std::optional<std::string> text = textOf(*tag);
        if (!text) {
            return std::nullopt;
        }
        if (name == "string") {
            return Value(std::move(*text));
        }
        if (name == "integer") {
            return integer(trim(*text));
        }
        if (name == "real") {
            return real(trim(*text));
        }
        if (name == "date") {
            return date(trim(*text));
        }
        if (name == "data") {
            return data(*text);
        }
        return std::nullopt;
    }

    std::optional<Value> parseDict(int depth) {
        Dict dict;
        for (;;) {
            if (!skipMisc()) {
                return std::nullopt;
            }
            const std::optional<Tag> tag = readTag();
            if (!tag) {
                return std::nullopt;
            }
            if (tag->closing) {
                return tag->name == "dict" ? std::optional<Value>(Value(std::move(dict)))
                                           : std::nullopt;
            }
            if (tag->name != "key") {
                return std::nullopt;
            }
            std::optional<std::string> key = textOf(*tag);
            if (!key || !skipMisc()) {
                return std::nullopt;
            }
            std::optional<Value> item = parseValue(depth + 1);
            if (!item) {
                return std::nullopt;
            }
            // Files we write list keys in order, so the hint makes each insertion constant.
            dict.insert_or_assign(dict.end(), std::move(*key), std::move(*item));
        }
    }

    std::optional<Value> parseArray(int depth) {
        Array array;
        for (;;) {
            if (!skipMisc()) {
                return std::nullopt;
            }
            if (startsWith("</")) {
                if (!endTag("array")) {
                    return std::nullopt;
                }
                return Value(std::move(array));
            }
            std::optional<Value> item = parseValue(depth + 1);
            if (!item) {
                return std::nullopt;
            }
            array.push_back(std::move(*item));
        }
    }

    static std::optional<Value> integer(std::string_view s) {
        const bool negative = !s.empty() && s[0] == '-';
        if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
            s.remove_prefix(1);
        }
        int base = 10;
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            base = 16;
            s.remove_prefix(2);
        }
        std::uint64_t magnitude = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
        if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
            return std::nullopt;
        }
        // Values past the signed range keep their bits, as the other encodings do.
        return Value(static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude));
    }

    static std::optional<Value> real(std::string_view s) {
        if (!s.empty() && s[0] == '+') {
            s.remove_prefix(1);
        }
        double d = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
        if (s.empty() || end != s.data() + s.size() ||
            (ec != std::errc() && ec != std::errc::result_out_of_range)) {
            return std::nullopt;
        }
        return Value(d);
    }

    // YYYY-MM-DDTHH:MM:SSZ, in UTC.
    static std::optional<Value> date(std::string_view s) {
        if (!s.empty() && s.back() == 'Z') {
            s.remove_suffix(1);
        }
        int field[6] = {};
        const char separators[] = {'-', '-', 'T', ':', ':'};
        const char* p = s.data();
        const char* const end = s.data() + s.size();
        for (int i = 0; i < 6; ++i) {
            const auto [next, ec] = std::from_chars(p, end, field[i]);
            if (ec != std::errc() || (i < 5 && (next == end || *next != separators[i]))) {
                return std::nullopt;
            }
            p = i < 5 ? next + 1 : next;
        }
        if (p != end || field[1] < 1 || field[1] > 12 || field[2] < 1 || field[2] > 31) {
            return std::nullopt;
        }
        const std::int64_t days = daysFromCivil(field[0], field[1], field[2]);
        const auto seconds = days * 86400 + field[3] * 3600 + field[4] * 60 + field[5];
        return Value(Date{static_cast<double>(seconds)});
    }

    static std::optional<Value> data(std::string_view s) {
        Data out;
        out.reserve(s.size() / 4 * 3);
        std::uint32_t bits = 0;
        int count = 0;
        for (const char c : s) {
            int v = -1;
            if (c >= 'A' && c <= 'Z') {
                v = c - 'A';
            } else if (c >= 'a' && c <= 'z') {
                v = c - 'a' + 26;
            } else if (c >= '0' && c <= '9') {
                v = c - '0' + 52;
            } else if (c == '+') {
                v = 62;
            } else if (c == '/') {
                v = 63;
            } else if (c == '=' || isBlank(c)) {
                continue;
            } else {
                return std::nullopt;
            }
            bits = (bits << 6) | static_cast<std::uint32_t>(v);
            if (++count == 4) {
                out.push_back(static_cast<std::uint8_t>(bits >> 16));
                out.push_back(static_cast<std::uint8_t>(bits >> 8));
                out.push_back(static_cast<std::uint8_t>(bits));
                bits = 0;
                count = 0;
            }
        }
        if (count == 2) {
            out.push_back(static_cast<std::uint8_t>(bits >> 4));
        } else if (count == 3) {
            out.push_back(static_cast<std::uint8_t>(bits >> 10));
            out.push_back(static_cast<std::uint8_t>(bits >> 2));
        } else if (count == 1) {
            return std::nullopt;
        }
        return Value(std::move(out));
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<Value> parseXml(std::string_view text) {
    return XmlReader(text).document();
}

}  // namespace tf::plist

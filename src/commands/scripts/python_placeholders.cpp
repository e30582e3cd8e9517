// Placeholders in Python 3 source: a lexer that knows string literals of every kind
// (raw, bytes, f-strings and their fields) and comments.
#include "commands/scripts/placeholder_lexers.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tf::placeholders {

namespace {

// Length of the well-formed UTF-8 sequence at `at`, or 0 where the decoder gives up on a
// byte.
std::size_t utf8Length(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) -> unsigned {
        return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u;
    };
    const unsigned b0 = byte(at);
    const auto tail = [&](std::size_t i) { return byte(i) >= 0x80 && byte(i) <= 0xBF; };
    if (b0 < 0x80) {
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        return tail(at + 1) ? 2 : 0;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = b0 == 0xED ? 0x9F : 0xBF;
        return byte(at + 1) >= lo && byte(at + 1) <= hi && tail(at + 2) ? 3 : 0;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = b0 == 0xF4 ? 0x8F : 0xBF;
        return byte(at + 1) >= lo && byte(at + 1) <= hi && tail(at + 2) && tail(at + 3) ? 4 : 0;
    }
    return 0;
}

// The str Python makes of these bytes with os.fsdecode: UTF-8, and U+DC00 + byte for each
// byte that is not part of a well-formed sequence (surrogateescape).
std::vector<std::uint32_t> pythonCodePoints(std::string_view bytes) {
    std::vector<std::uint32_t> codes;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = utf8Length(bytes, i);
        auto code = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
        if (length == 0) {
            code += 0xDC00u;
        } else if (length > 1) {
            code &= 0x7Fu >> length;
            for (std::size_t k = 1; k < length; ++k) {
                code = (code << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3Fu);
            }
        }
        codes.push_back(code);
        i += std::max<std::size_t>(length, 1);
    }
    return codes;
}

std::string hexEscape(char prefix, unsigned width, std::uint32_t code) {
    static constexpr std::string_view kDigits = "0123456789abcdef";
    std::string out{'\\', prefix};
    for (unsigned shift = width * 4; shift > 0; shift -= 4) {
        out += kDigits[(code >> (shift - 4)) & 0xFu];
    }
    return out;
}

// The body of a str literal (either quote) holding exactly `value`. It is plain ASCII, so
// the value arrives whatever encoding the interpreter reads its command line in.
std::string pythonStrBody(std::string_view value, bool fString) {
    std::string out;
    for (const std::uint32_t code : pythonCodePoints(value)) {
        const auto c = static_cast<char>(code);
        if (code > 0xFFFF) {
            out += hexEscape('U', 8, code);
        } else if (code >= 0x80) {
            out += hexEscape('u', 4, code);
        } else if (c == '\\' || c == '\'' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (code < 0x20 || code == 0x7F) {
            out += hexEscape('x', 2, code);
        } else if (fString && (c == '{' || c == '}')) {
            out.append(2, c);
        } else {
            out += c;
        }
    }
    return out;
}

// The body of a bytes literal holding exactly the bytes of `value`.
std::string pythonBytesBody(std::string_view value) {
    std::string out;
    for (const char c : value) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\' || c == '\'' || c == '"') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7F) {
            out += hexEscape('x', 2, b);
        } else {
            out += c;
        }
    }
    return out;
}

// A str expression without quotes or backslashes, for f-string fields.
std::string pythonCharacters(std::string_view value) {
    if (value.empty()) {
        return "str()";
    }
    std::string out = "str().join(map(chr, [";
    for (const std::uint32_t code : pythonCodePoints(value)) {
        out += (out.back() == '[' ? "" : ", ") + std::to_string(code);
    }
    return out + "]))";
}

bool isPythonIdentChar(char c) {
    return isIdentChar(c) || static_cast<unsigned char>(c) >= 0x80;
}

bool isStringPrefix(std::string_view word) {
    if (word.size() > 2) {
        return false;
    }
    std::string lower;
    for (const char c : word) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    for (const std::string_view prefix : {"r", "u", "b", "f", "br", "rb", "fr", "rf"}) {
        if (lower == prefix) {
            return true;
        }
    }
    return false;
}

bool hasLetter(std::string_view prefix, char lower) {
    for (const char c : prefix) {
        if (c == lower || c == lower - 'a' + 'A') {
            return true;
        }
    }
    return false;
}

class PythonExpander {
  public:
    PythonExpander(std::string_view in, const Values& values) : in_(in), values_(values) {}

    std::optional<std::string> script() {
        code(false);
        if (!ok_) {
            return std::nullopt;
        }
        return std::move(out_);
    }

  private:
    bool atEnd() const { return i_ >= in_.size(); }
    char peek(std::size_t ahead = 0) const {
        return i_ + ahead < in_.size() ? in_[i_ + ahead] : '\0';
    }
    void copy(std::size_t count = 1) {
        count = std::min(count, in_.size() - i_);
        out_.append(in_.substr(i_, count));
        i_ += count;
    }
    const std::string* placeholder() {
        const std::optional<std::size_t> k = placeholderAt(in_, i_);
        if (!k) {
            return nullptr;
        }
        i_ += kNames[*k].size();
        return &values_[*k];
    }
    // A literal written right after a name would take it as a prefix (f'...' runs code).
    void separateFromName() {
        if (!out_.empty() && isPythonIdentChar(out_.back())) {
            out_ += ' ';
        }
    }

    // Source text outside literals; inside an f-string field, up to its closing brace.
    void code(bool field) {
        int depth = 0;
        while (!atEnd()) {
            if (const std::string* value = placeholder()) {
                separateFromName();
                out_ += field ? pythonCharacters(*value) : "'" + pythonStrBody(*value, false) + "'";
                continue;
            }
            const char c = peek();
            if (field && depth == 0 && c == '}') {
                return;
            }
            if (c == '#') {
                while (!atEnd() && peek() != '\n') {
                    copy();
                }
            } else if (c == '\\') {
                copy(2);
            } else if (c == '\'' || c == '"') {
                literal({});
            } else if (isPythonIdentChar(c)) {
                const std::size_t start = i_;
                while (isPythonIdentChar(peek())) {
                    copy();
                }
                const std::string_view word = in_.substr(start, i_ - start);
                if ((peek() == '\'' || peek() == '"') && isStringPrefix(word)) {
                    literal(word);
                }
            } else {
                if (field && (c == '(' || c == '[' || c == '{')) {
                    ++depth;
                } else if (field && (c == ')' || c == ']' || c == '}')) {
                    --depth;
                }
                copy();
            }
        }
    }

    // At the opening quote of a literal whose prefix has been copied already.
    void literal(std::string_view prefix) {
        const char quote = peek();
        const bool triple = peek(1) == quote && peek(2) == quote;
        const std::string delimiter(triple ? 3 : 1, quote);
        const bool raw = hasLetter(prefix, 'r');
        const bool bytes = hasLetter(prefix, 'b');
        const bool fString = hasLetter(prefix, 'f');
        const bool nested = fields_ > 0;
        copy(delimiter.size());
        while (!atEnd()) {
            if (in_.substr(i_).starts_with(delimiter)) {
                copy(delimiter.size());
                return;
            }
            if (const std::string* value = placeholder()) {
                if (nested) {
                    // Python 3.11 allows no backslash in an f-string field: only a value
                    // that needs no escape can go in.
                    const bool plain = pythonStrBody(*value, true) == *value &&
                                       (!bytes || pythonBytesBody(*value) == *value);
                    ok_ = ok_ && plain;
                    out_ += *value;
                } else if (raw) {
                    const std::string escaped = bytes ? "b'" + pythonBytesBody(*value) + "'"
                                                      : "'" + pythonStrBody(*value, false) + "'";
                    out_ += delimiter + " " + escaped + " " + std::string(prefix) + delimiter;
                } else {
                    out_ += bytes ? pythonBytesBody(*value) : pythonStrBody(*value, fString);
                }
                continue;
            }
            const char c = peek();
            if (c == '\\') {
                copy(2);
            } else if (fString && (c == '{' || c == '}') && peek(1) == c) {
                copy(2);
            } else if (fString && c == '{') {
                copy();
                ++fields_;
                code(true);
                --fields_;
                copy();
            } else if (c == '\n' && !triple) {
                return;  // unterminated: Python refuses the whole script
            } else {
                copy();
            }
        }
    }

    std::string_view in_;
    const Values& values_;
    std::size_t i_ = 0;
    std::string out_;
    bool ok_ = true;
    int fields_ = 0;  // f-string fields we are inside
};

}  // namespace

std::optional<std::string> expandPython(std::string_view script, const Values& values) {
    return PythonExpander(script, values).script();
}

}  // namespace tf::placeholders

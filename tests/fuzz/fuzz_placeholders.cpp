// The script placeholder expander. Input: a flags byte (bit 0: Python), a file path, a NUL,
// a script. The fuzzed script is expanded for the path (no crash, no hang; a script without
// placeholders comes back as it was), and for the shell the item's values are also put in
// plain words and here-documents, where the text bash would see is decoded here, without
// running bash, and must be each value byte for byte.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "commands/scripts/placeholders.h"
#include "fuzz_check.h"
#include "model/file_record.h"

namespace {

using tf::fuzz::check;

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The body of $'...' from `at` (past the opening quote) to its closing quote, which `at` is
// left on. Escapes the expander never writes are refused rather than interpreted.
std::optional<std::string> dollarSingleBody(std::string_view text, std::size_t& at) {
    std::string out;
    for (; at < text.size() && text[at] != '\''; ++at) {
        if (text[at] != '\\') {
            out += text[at];
            continue;
        }
        if (++at == text.size()) {
            return std::nullopt;
        }
        const char c = text[at];
        static constexpr std::string_view kFrom = "abefnrtv\\'\"?";
        static constexpr std::string_view kTo = "\a\b\x1b\f\n\r\t\v\\'\"?";
        if (const std::size_t k = kFrom.find(c); k != std::string_view::npos) {
            out += kTo[k];
        } else if (c == 'x' && at + 1 < text.size() && isHex(text[at + 1])) {
            std::size_t end = at + 1;
            while (end < text.size() && end < at + 3 && isHex(text[end])) {
                ++end;
            }
            out += static_cast<char>(
                std::stoi(std::string(text.substr(at + 1, end - at - 1)), nullptr, 16));
            at = end - 1;
        } else {
            return std::nullopt;
        }
    }
    if (at == text.size()) {
        return std::nullopt;
    }
    return out;
}

// The one word bash makes of `text` as an argument in plain code, or nothing when any of it
// would be expanded, split, globbed or taken as an operator.
std::optional<std::string> shellWord(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\'') {
            const std::size_t close = text.find('\'', at + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            out.append(text.substr(at + 1, close - at - 1));
            at = close;
        } else if (c == '$' && at + 1 < text.size() && text[at + 1] == '\'') {
            at += 2;
            auto body = dollarSingleBody(text, at);
            if (!body) {
                return std::nullopt;
            }
            out += *body;
        } else if (c == '"') {
            for (++at;; ++at) {
                if (at == text.size() || text[at] == '$' || text[at] == '`') {
                    return std::nullopt;
                }
                if (text[at] == '"') {
                    break;
                }
                if (text[at] == '\\' && at + 1 < text.size() &&
                    std::string_view("$`\"\\\n").find(text[at + 1]) != std::string_view::npos) {
                    if (text[++at] != '\n') {
                        out += text[at];
                    }
                    continue;
                }
                out += text[at];
            }
        } else if (c == '\\') {
            if (++at == text.size()) {
                return std::nullopt;
            }
            if (text[at] != '\n') {
                out += text[at];
            }
        } else if (std::string_view(" \t\n|&;<>()$`*?[{}!").find(c) != std::string_view::npos ||
                   (at == 0 && (c == '~' || c == '#'))) {
            return std::nullopt;
        } else {
            out += c;
        }
    }
    return out;
}

// The text `cat` prints for a here-document opened with "<<EOF" (or "<<'EOF'" when quoted)
// whose body starts `text`, or nothing when the body would expand anything or never ends.
// Nothing may follow the delimiter line.
std::optional<std::string> hereDocument(std::string_view text, bool quoted) {
    std::string body;
    std::size_t start = 0;
    for (;;) {
        if (start >= text.size()) {
            return std::nullopt;
        }
        std::string line;
        std::size_t end = start;
        for (;;) {
            const std::size_t nl = text.find('\n', end);
            const std::size_t stop = nl == std::string_view::npos ? text.size() : nl;
            line.append(text.substr(end, stop - end));
            end = stop;
            std::size_t slashes = 0;
            while (slashes < line.size() && line[line.size() - 1 - slashes] == '\\') {
                ++slashes;
            }
            if (quoted || slashes % 2 == 0 || end == text.size()) {
                break;
            }
            line.pop_back();  // a backslash-newline joins the next line
            ++end;
        }
        if (line == "EOF") {
            if (end != text.size()) {
                return std::nullopt;
            }
            break;
        }
        body += line + "\n";
        start = end + 1;
    }
    if (quoted) {
        return body;
    }
    std::string out;
    for (std::size_t at = 0; at < body.size(); ++at) {
        const char c = body[at];
        if (c == '\\' && at + 1 < body.size() &&
            std::string_view("$`\\").find(body[at + 1]) != std::string_view::npos) {
            out += body[++at];
        } else if (c == '$' && body.substr(at, 3) == "$()") {
            at += 2;  // an empty command substitution
        } else if (c == '$' || c == '`') {
            return std::nullopt;
        } else {
            out += c;
        }
    }
    return out;
}

// The placeholders of a decoded word replaced by the item's values, in one pass so that
// inserted values are not searched again.
std::string substituted(std::string_view text, const tf::RCFile& file) {
    const std::pair<std::string_view, std::string> values[] = {
        {"@rpath", file.path()},       {"@rpos", file.folder()}, {"@rfname", file.filename()},
        {"@rname", file.simpleName()}, {"@rext", file.ext()},
    };
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        bool replaced = false;
        for (const auto& [name, value] : values) {
            if (text.substr(at).starts_with(name)) {
                out += value;
                at += name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out += text[at++];
        }
    }
    return out;
}

bool hasLine(const std::string& text, std::string_view line) {
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t nl = std::min(text.find('\n', start), text.size());
        if (std::string_view(text).substr(start, nl - start) == line) {
            return true;
        }
        start = nl + 1;
    }
    return false;
}

constexpr std::string_view kPrintf = "printf %s ";

// Words after "printf %s ": placeholders in every quoting a word can have, alone and joined.
constexpr std::string_view kWords[] = {
    "@rpath",
    "\"@rpath\"",
    "'@rpath'",
    "$'@rpath'",
    "x@rpath\"@rpath\"'@rpath'$'@rpath'",
    "'a'@rpath/",
    "$'\\tb@rpath\\n'",
    "\"a b\"@rpath'c d'",
    "@rpos/@rname.@rext\"@rfname\"",
};

void checkShellContexts(const std::string& path) {
    const tf::RCFile file(path);
    const auto expand = [&](std::string_view script) {
        return tf::expandScriptPlaceholders(script, path, tf::ScriptLanguage::Shell);
    };
    for (const std::string_view word : kWords) {
        const std::string script = std::string(kPrintf) + std::string(word);
        const auto expanded = expand(script);
        check(expanded.has_value(), "refused a plain shell context", script);
        check(expanded->starts_with(kPrintf), "changed the text around a placeholder", *expanded);
        const auto decoded = shellWord(std::string_view(*expanded).substr(kPrintf.size()));
        check(decoded.has_value(), "bash would expand or split the word", *expanded);
        // The expected word: the script's own quoting undone, with the values in place.
        const auto plain = shellWord(word);
        check(plain.has_value(), "a context of this check does not decode", word);
        check(*decoded == substituted(*plain, file), "bash reads another word", *expanded);
    }
    for (const bool quoted : {false, true}) {
        const std::string head = quoted ? "cat <<'EOF'\n" : "cat <<EOF\n";
        const auto expanded = expand(head + "@rpath\nEOF");
        // Only a line of the path that reads as the delimiter can stop the document: any
        // line of a quoted one; in an unquoted one the later lines start with "$()".
        const bool writable =
            quoted ? !hasLine(path, "EOF") : path.substr(0, path.find('\n')) != "EOF";
        check(expanded.has_value() == writable,
              writable ? "refused a here-document" : "wrote a path that ends its document", head);
        if (expanded) {
            const auto body = hereDocument(std::string_view(*expanded).substr(head.size()), quoted);
            check(body == path + "\n", "the here-document prints another text", *expanded);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto language =
        (data[0] & 1) != 0 ? tf::ScriptLanguage::Python : tf::ScriptLanguage::Shell;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t nul = rest.find('\0');
    const std::string path(rest.substr(0, nul));
    const std::string_view script =
        nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);

    const auto expanded = tf::expandScriptPlaceholders(script, path, language);
    if (!tf::hasScriptPlaceholder(script) && expanded) {
        check(*expanded == script, "changed a script without placeholders", script);
    }
    if (language == tf::ScriptLanguage::Shell) {
        checkShellContexts(path);
    }
    return 0;
}

// Placeholders in bash source: a lexer that follows bash's quoting, expansions and
// here-documents far enough to know how each placeholder must be written.
#include "commands/scripts/placeholder_lexers.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "commands/scripts/placeholders.h"

namespace tf::placeholders {

namespace {

std::string singleQuotedBody(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        // Not '\'': bash 5.2 misreads a backslashed quote in name=(...) inside $(...).
        out += c == '\'' ? std::string_view("'\"'\"'") : std::string_view(&c, 1);
    }
    return out;
}

std::string backslashed(std::string_view value, std::string_view special) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (isOneOf(c, special)) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// The text of `...` as the inner shell reads it: a backslash before one of `special` goes.
std::string unbackslashed(std::string_view raw, std::string_view special) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size() && isOneOf(raw[i + 1], special)) {
            ++i;
        }
        out += raw[i];
    }
    return out;
}

struct HereDoc {
    std::string delimiter;
    bool quoted = false;
    bool stripTabs = false;
};

// Where the first line of `body` that bash would take for the delimiter starts, and where
// it ends (past its newline); both are the size of `body` when there is none. Lines ending
// in an escaping backslash join the next one when the delimiter is unquoted.
std::pair<std::size_t, std::size_t> delimiterLine(std::string_view body, const HereDoc& doc) {
    std::size_t start = 0;
    while (start < body.size()) {
        std::string logical;
        std::size_t end = start;
        for (;;) {
            const std::size_t nl = body.find('\n', end);
            const std::size_t stop = nl == std::string_view::npos ? body.size() : nl;
            logical.append(body.substr(end, stop - end));
            end = stop;
            std::size_t slashes = 0;
            while (slashes < logical.size() && logical[logical.size() - 1 - slashes] == '\\') {
                ++slashes;
            }
            if (doc.quoted || slashes % 2 == 0 || end == body.size()) {
                break;
            }
            logical.pop_back();
            ++end;
        }
        std::string_view line(logical);
        if (doc.stripTabs) {
            line.remove_prefix(std::min(line.find_first_not_of('\t'), line.size()));
        }
        if (line == doc.delimiter) {
            return {start, std::min(end + 1, body.size())};
        }
        start = end + 1;
    }
    return {body.size(), body.size()};
}

class ShellExpander {
  public:
    ShellExpander(std::string_view in, const Values& values) : in_(in), values_(values) {}

    std::optional<std::string> script() {
        code(Close::None);
        return result();
    }
    std::optional<std::string> hereDocText() {
        doubleQuoted(Quote::HereDoc);
        return result();
    }

  private:
    enum class Ctx {
        Code,
        Single,
        DollarSingle,
        Double,
        DoubleBrace,
        DoubleInBrace,
        HereDoc,
        Arith,
        Opaque  // no exact form is known here
    };
    enum class Close { None, Paren };
    // Where a double-quote-like run ends: its closing quote, a "}" of ${..}, or the input's
    // end. InBrace is a "..." inside the word of "${x:-...}".
    enum class Quote { Double, Brace, InBrace, HereDoc };

    std::optional<std::string> result() {
        if (!ok_) {
            return std::nullopt;
        }
        return std::move(out_);
    }
    // Bash drops a backslash-newline before it reads anything else (outside single quotes
    // and comments, where the pair means nothing anyway), so the cursor reads past them
    // while the output keeps them.
    std::size_t skipJoins(std::size_t at) const {
        while (at + 1 < in_.size() && in_[at] == '\\' && in_[at + 1] == '\n') {
            at += 2;
        }
        return at;
    }
    bool atEnd() const { return i_ >= in_.size(); }
    char peek(std::size_t ahead = 0) const {
        std::size_t at = skipJoins(i_);
        for (; ahead > 0 && at < in_.size(); --ahead) {
            at = skipJoins(at + 1);
        }
        return at < in_.size() ? in_[at] : '\0';
    }
    bool lookingAt(std::string_view text) const {
        for (std::size_t k = 0; k < text.size(); ++k) {
            if (peek(k) != text[k]) {
                return false;
            }
        }
        return true;
    }
    void copy(std::size_t count = 1) {
        std::size_t end = skipJoins(i_);
        for (; count > 0 && end < in_.size(); --count) {
            end = skipJoins(end + 1);
        }
        out_.append(in_.substr(i_, end - i_));
        i_ = end;
        afterName_ = false;
    }
    // A backslash and the character it escapes, whatever that is.
    void copyEscape() {
        const std::size_t end = std::min(skipJoins(i_) + 2, in_.size());
        out_.append(in_.substr(i_, end - i_));
        i_ = end;
        afterName_ = false;
    }
    // A comment ends at the newline, backslash or not.
    void copyComment() {
        const std::size_t end = std::min(in_.find('\n', i_), in_.size());
        out_.append(in_.substr(i_, end - i_));
        i_ = end;
    }
    std::string copyIdent() {
        std::string word;
        while (isIdentChar(peek())) {
            word += peek();
            copy();
        }
        return word;
    }

    bool placeholder(Ctx ctx) {
        const std::size_t start = skipJoins(i_);
        const std::optional<std::size_t> k =
            start < in_.size() ? placeholderAt(in_, start) : std::nullopt;
        if (!k) {
            return false;
        }
        out_.append(in_.substr(i_, start - i_));
        i_ = start + kNames[*k].size();
        const std::string& value = values_[*k];
        const bool joinsName = afterName_ && !value.empty() && isIdentChar(value.front());
        afterName_ = false;
        switch (arithmetic_ > 0 ? Ctx::Arith : ctx) {
            case Ctx::Code:
                out_ += "'" + singleQuotedBody(value) + "'";
                break;
            case Ctx::Single:
                out_ += singleQuotedBody(value);
                break;
            case Ctx::DollarSingle:
                out_ += "''" + singleQuotedBody(value) + "'$'";
                break;
            case Ctx::DoubleInBrace:
                // Brace expansion takes "${x:-"..."}" for text outside quotes.
                ok_ = ok_ && value.find('{') == std::string::npos;
                [[fallthrough]];
            case Ctx::Double:
                // "$HOME""x": the value must not lengthen a variable name before it.
                out_ += (joinsName ? "\"\"" : "") + backslashed(value, "$`\"\\");
                break;
            case Ctx::DoubleBrace:
                // The word of "${x:-...}": bash pairs single quotes there before it expands
                // (and keeps them), so a lone one cannot be written; "}" would end the word.
                ok_ = ok_ && value.find('\'') == std::string::npos;
                out_ += (joinsName ? "\"\"" : "") + backslashed(value, "$`\"\\}");
                break;
            case Ctx::HereDoc: {
                std::string text = backslashed(value, "$`\\");
                for (std::size_t at = text.find('\n'); at != std::string::npos;
                     at = text.find('\n', at + 1)) {
                    text.insert(at + 1, "$()");
                }
                out_ += (joinsName ? "$()" : "") + text;
                break;
            }
            case Ctx::Opaque:
                ok_ = false;
                break;
            case Ctx::Arith:
                if (value.empty() || joinsName ||
                    value.find_first_not_of("0123456789") != std::string::npos) {
                    ok_ = false;
                }
                out_ += value;
                break;
        }
        return true;
    }

    void code(Close close) {
        int parens = 0;
        int cases = 0;
        bool caseSubject = false;  // between "case" and its "in"
        bool wordStart = true;
        bool commandStart = true;
        while (!atEnd()) {
            if (placeholder(Ctx::Code)) {
                wordStart = commandStart = false;
                continue;
            }
            const char c = peek();
            if (close == Close::Paren && c == ')' && parens == 0) {
                if (cases == 0) {
                    return;
                }
                copy();  // the end of a case pattern
                wordStart = commandStart = true;
                continue;
            }
            bool separates = false;
            switch (c) {
                case '\\':
                    copyEscape();
                    break;
                case '\'':
                    copy();
                    singleQuoted(Ctx::Single);
                    break;
                case '"':
                    copy();
                    doubleQuoted(Quote::Double);
                    break;
                case '$':
                    dollar(Ctx::Code);
                    break;
                case '`':
                    backtick(Ctx::Code);
                    break;
                case '#':
                    if (wordStart) {
                        copyComment();
                    } else {
                        copy();
                    }
                    break;
                case '\n':
                    copy();
                    hereDocBodies();
                    separates = true;
                    break;
                case '(':
                    if (wordStart && peek(1) == '(') {
                        copy(2);
                        arith("))");
                    } else {
                        ++parens;
                        copy();
                        separates = true;
                    }
                    break;
                case ')':
                    parens -= parens > 0 ? 1 : 0;
                    copy();
                    separates = true;
                    break;
                case '{':
                    copy();
                    if (wordStart && isOneOf(peek(), " \t\n")) {
                        continue;  // a group: a command follows
                    }
                    break;
                case '<':
                case '>':
                    if (peek(1) == '(') {  // a process substitution: a word
                        copy(2);
                        code(Close::Paren);
                        copy();
                        break;
                    }
                    if (lookingAt("<<<")) {
                        copy(3);
                    } else if (lookingAt("<<")) {
                        hereDocOperator();
                    } else {
                        copy();
                        if (isOneOf(peek(), ">&|") || (c == '<' && peek() == '>')) {
                            copy();
                        }
                    }
                    // A file name follows a redirection, never a keyword.
                    wordStart = true;
                    commandStart = false;
                    continue;
                case ' ':
                case '\t':
                    copy();
                    wordStart = true;
                    continue;
                case '&':
                    if (peek(1) == '>') {  // &> and &>> redirect
                        copy(peek(2) == '>' ? 3 : 2);
                        wordStart = true;
                        commandStart = false;
                        continue;
                    }
                    copy();
                    separates = true;
                    break;
                case ';':
                case '|':
                    copy();
                    separates = true;
                    break;
                case '!':
                    copy();
                    if (commandStart && isOneOf(peek(), " \t")) {
                        continue;  // a pipeline negated: a command follows
                    }
                    break;
                default:
                    if (wordStart && isIdentStart(c)) {
                        const std::string word = copyIdent();
                        if (peek() == '[') {  // an array element: its subscript is arithmetic
                            copy();
                            arith("]", !commandStart);
                        } else if (lookingAt("=(") || lookingAt("+=(")) {
                            copy(peek() == '+' ? 3 : 2);
                            arrayWords();
                        } else if (commandStart && word == "case" && isOneOf(peek(), " \t")) {
                            ++cases;
                            caseSubject = true;
                        } else if (commandStart && word == "esac" && cases > 0) {
                            --cases;
                        } else if (caseSubject && word == "in" && isOneOf(peek(), " \t\n")) {
                            caseSubject = false;
                            wordStart = true;  // patterns follow, or "esac" at once
                            commandStart = true;
                            continue;
                        } else if (commandStart && isOneOf(peek(), " \t\n") &&
                                   (word == "if" || word == "then" || word == "else" ||
                                    word == "elif" || word == "do" || word == "while" ||
                                    word == "until" || word == "time")) {
                            wordStart = true;  // a command follows a keyword
                            continue;
                        }
                    } else {
                        copy();
                    }
                    break;
            }
            wordStart = commandStart = separates;
        }
    }

    // The words of "name=(...)", through the closing parenthesis. After a syntax error in
    // there bash goes on reading at the next line, which may be inside a quoted value: such
    // a script is not expanded at all.
    void arrayWords() {
        bool wordStart = true;
        while (!atEnd()) {
            if (placeholder(Ctx::Code)) {
                wordStart = false;
                continue;
            }
            const char c = peek();
            if (c == ')') {
                copy();
                return;
            }
            if (c == '\\') {
                ok_ = ok_ && peek(1) != '\'';  // the same misreading: see singleQuotedBody
                copyEscape();
            } else if (c == '\'') {
                copy();
                singleQuoted(Ctx::Single);
            } else if (c == '"') {
                copy();
                doubleQuoted(Quote::Double);
            } else if (c == '$') {
                dollar(Ctx::Code);
            } else if (c == '`') {
                backtick(Ctx::Code);
            } else if (c == '#' && wordStart) {
                copyComment();
            } else if (c == '[' && wordStart) {  // [key]=value
                copy();
                arith("]");
            } else if (isOneOf(c, " \t\n")) {
                copy();
                wordStart = true;
                continue;
            } else {
                ok_ = ok_ && !isOneOf(c, ";&|<>(");
                copy();
            }
            wordStart = false;
        }
    }

    // The word of an unquoted ${x:-...}, up to its first "}": quotes and expansions work
    // there, but it is one word (no operators, comments or here-documents).
    void braceWord() {
        while (!atEnd()) {
            if (placeholder(Ctx::Code)) {
                continue;
            }
            const char c = peek();
            if (c == '}') {
                return;
            }
            if (c == '\\') {
                copyEscape();
            } else if (c == '\'') {
                copy();
                singleQuoted(Ctx::Single);
            } else if (c == '"') {
                copy();
                doubleQuoted(Quote::Double);
            } else if (c == '$') {
                dollar(Ctx::Code);
            } else if (c == '`') {
                backtick(Ctx::Code);
            } else if ((c == '<' || c == '>') && peek(1) == '(') {
                copy(2);
                code(Close::Paren);
                copy();
            } else {
                copy();
            }
        }
    }

    // After an opening quote; through the closing one.
    void singleQuoted(Ctx ctx) {
        while (!atEnd()) {
            if (placeholder(ctx)) {
                continue;
            }
            const char c = peek();
            if (c == '\'') {
                copy();
                return;
            }
            if (ctx == Ctx::DollarSingle && c == '\\') {
                const bool control = peek(1) == 'c';
                copyEscape();
                if (control) {  // \cX takes one more character
                    copy();
                }
            } else {
                copy();
            }
        }
    }

    // After an opening quote (or "${name" and its operator); through the closing quote, or up
    // to the closing brace.
    void doubleQuoted(Quote quote) {
        const Ctx ctx = quote == Quote::HereDoc   ? Ctx::HereDoc
                        : quote == Quote::Brace   ? Ctx::DoubleBrace
                        : quote == Quote::InBrace ? Ctx::DoubleInBrace
                                                  : Ctx::Double;
        while (!atEnd()) {
            if (placeholder(ctx)) {
                continue;
            }
            const char c = peek();
            if (c == '"' && (quote == Quote::Double || quote == Quote::InBrace)) {
                copy();
                return;
            }
            if (c == '"' && quote == Quote::Brace) {
                copy();
                doubleQuoted(Quote::InBrace);
            } else if (c == '}' && quote == Quote::Brace) {
                return;
            } else if (c == '\\') {
                copyEscape();
            } else if (c == '$') {
                dollar(ctx);
            } else if (c == '`') {
                backtick(ctx);
            } else {
                copy();
            }
        }
    }

    // Up to and including `closer` at the outer nesting level. Quotes count there as bash
    // reads them, but every placeholder inside, quoted or not, is arithmetic text.
    // A subscript outside an assignment position is a glob character instead, and bash ends
    // that word at a blank: `wordOnly` stops there too. Inside ${...} (`inBraces`), the
    // first "}" ends it whatever the nesting, as it ends the ${...}.
    void arith(std::string_view closer, bool wordOnly = false, bool inBraces = false) {
        ++arithmetic_;
        int depth = 0;
        while (!atEnd()) {
            if (placeholder(Ctx::Arith)) {
                continue;
            }
            const char c = peek();
            if ((depth == 0 && lookingAt(closer)) || (closer == "}" && c == '}')) {
                copy(closer.size());
                break;
            }
            if (inBraces && c == '}') {
                break;
            }
            if (wordOnly && isOneOf(c, " \t\n;&|<>()")) {
                break;
            }
            if (c == '\'') {
                copy();
                singleQuoted(Ctx::Single);
            } else if (c == '"') {
                copy();
                doubleQuoted(Quote::Double);
            } else if (c == '(' || c == '[') {
                ++depth;
                copy();
            } else if (c == ')' || c == ']') {
                depth -= depth > 0 ? 1 : 0;
                copy();
            } else if (c == '\\') {
                copyEscape();
            } else if (c == '$') {
                dollar(Ctx::Arith);
            } else if (c == '`') {
                backtick(Ctx::Arith);
            } else {
                copy();
            }
        }
        --arithmetic_;
    }

    void dollar(Ctx ctx) {
        const char next = peek(1);
        if ((ctx == Ctx::Code || ctx == Ctx::Arith) && next == '\'') {
            copy(2);
            singleQuoted(Ctx::DollarSingle);
        } else if ((ctx == Ctx::DoubleBrace || ctx == Ctx::DoubleInBrace) && next == '\'') {
            copy(2);
            singleQuoted(Ctx::Opaque);  // $'...' is decoded there, but its quotes are kept
        } else if (ctx == Ctx::Code && next == '"') {
            copy(2);
            doubleQuoted(Quote::Double);
        } else if (next == '(' && peek(2) == '(') {
            copy(3);
            arith("))");
        } else if (next == '(') {
            copy(2);
            // A command inside arithmetic is an ordinary script; its output is the
            // arithmetic text.
            const int outer = std::exchange(arithmetic_, 0);
            code(Close::Paren);
            arithmetic_ = outer;
            copy();
        } else if (next == '[') {
            // The old form of $((...)): when bash expands a here-document or "...", it
            // finds the end of $[...] by rules of its own, so nothing here can be trusted.
            ok_ = false;
            copy(2);
            arith("]");
        } else if (next == '{') {
            parameter(ctx);
        } else if (isIdentStart(next)) {
            copy();
            copyIdent();
            afterName_ = true;
        } else if (isDigit(next) || isOneOf(next, "@*#?-$!")) {
            copy(2);
        } else {
            copy();
        }
    }

    // ${...}: the name and any subscript, then an offset (arithmetic) or a word that reads
    // like the text around it.
    void parameter(Ctx ctx) {
        copy(2);
        if ((peek() == '#' || peek() == '!') && peek(1) != '}') {
            copy();
        }
        if (isIdentStart(peek())) {
            copyIdent();
        } else if (isDigit(peek())) {
            while (isDigit(peek())) {
                copy();
            }
        } else if (isOneOf(peek(), "@*#?-!")) {  // "$" may start $(...): left to the word
            copy();
        }
        if (peek() == '[') {
            copy();
            arith("]", false, true);
        }
        if (peek() == ':' && !isOneOf(peek(1), "-=?+")) {
            copy();
            arith("}");
            return;
        }
        switch (ctx) {
            case Ctx::Code:
                braceWord();
                break;
            case Ctx::Arith:
                arith("}");
                return;
            default:  // in "..." and here-documents alike, the word reads as if in "..."
                doubleQuoted(Quote::Brace);
                break;
        }
        copy();
    }

    // `...`: the inner text, with its escapes undone, is a script of its own.
    void backtick(Ctx ctx) {
        out_.append(in_.substr(i_, skipJoins(i_) - i_));
        i_ = skipJoins(i_);
        std::size_t end = i_ + 1;
        while (end < in_.size() && in_[end] != '`') {
            end += in_[end] == '\\' ? 2 : 1;
        }
        end = std::min(end, in_.size());
        const std::string_view raw = in_.substr(i_ + 1, end - i_ - 1);
        if (!hasScriptPlaceholder(raw)) {
            copy(end + 1 - i_);
            return;
        }
        if (ctx == Ctx::DoubleBrace || ctx == Ctx::DoubleInBrace) {
            // Which escapes bash undoes in `...` inside "${x:-...}" is not worth guessing.
            ok_ = false;
        }
        const std::string_view special = ctx == Ctx::Double ? "$`\\\"" : "$`\\";
        const std::string inner = unbackslashed(raw, special);
        const std::optional<std::string> expanded = ShellExpander(inner, values_).script();
        ok_ = ok_ && expanded.has_value();
        out_ += '`' + backslashed(expanded.value_or(""), special) + '`';
        i_ = std::min(end + 1, in_.size());
        afterName_ = false;
    }

    // "<<" or "<<-" and the delimiter word; the body is read after the line ends.
    void hereDocOperator() {
        HereDoc doc;
        copy(2);
        if (peek() == '-') {
            copy();
            doc.stripTabs = true;
        }
        while (peek() == ' ' || peek() == '\t') {
            copy();
        }
        while (!atEnd() && !isOneOf(peek(), " \t\n;&|()<>")) {
            const char c = peek();
            if (c == '\'' || c == '"') {
                doc.quoted = true;
                copy();
                while (!atEnd() && peek() != c) {
                    if (c == '"' && peek() == '\\' && isOneOf(peek(1), "$`\"\\")) {
                        copy();
                    }
                    doc.delimiter += peek();
                    copy();
                }
                copy();
            } else if (c == '\\') {
                doc.quoted = true;
                copy();
                if (!atEnd()) {
                    doc.delimiter += peek();
                    copy();
                }
            } else {
                doc.delimiter += c;
                copy();
            }
        }
        pending_.push_back(std::move(doc));
    }

    void hereDocBodies() {
        const std::vector<HereDoc> docs = std::move(pending_);
        pending_.clear();
        for (const HereDoc& doc : docs) {
            const std::string_view rest = in_.substr(i_);
            const auto [bodySize, next] = delimiterLine(rest, doc);
            const std::string_view body = rest.substr(0, bodySize);
            std::optional<std::string> expanded;
            if (doc.quoted) {
                expanded = verbatim(body, doc);
            } else {
                expanded = ShellExpander(body, values_).hereDocText();
            }
            // A value must not end the document early.
            ok_ = ok_ && expanded && delimiterLine(*expanded, doc).first == expanded->size();
            out_ += expanded.value_or("");
            i_ += bodySize;
            copy(next - bodySize);
        }
    }

    // A quoted here-document body: nothing in it is expanded, so values go in as they are.
    std::optional<std::string> verbatim(std::string_view body, const HereDoc& doc) const {
        std::string out;
        for (std::size_t i = 0; i < body.size();) {
            if (const std::optional<std::size_t> k = placeholderAt(body, i)) {
                const std::string& value = values_[*k];
                if (doc.stripTabs && value.find("\n\t") != std::string::npos) {
                    return std::nullopt;  // <<- would strip those tabs
                }
                out += value;
                i += kNames[*k].size();
            } else {
                out += body[i++];
            }
        }
        return out;
    }

    std::string_view in_;
    const Values& values_;
    std::size_t i_ = 0;
    std::string out_;
    bool ok_ = true;
    // The text just copied is "$name", which a following letter would lengthen.
    bool afterName_ = false;
    // Inside arithmetic text (however quoted), unless a command substitution intervenes.
    int arithmetic_ = 0;
    std::vector<HereDoc> pending_;
};

}  // namespace

std::optional<std::string> expandShell(std::string_view script, const Values& values) {
    return ShellExpander(script, values).script();
}

}  // namespace tf::placeholders

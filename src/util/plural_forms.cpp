#include "util/plural_forms.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace tf {

namespace {

// Real rules are under 200 characters and a dozen levels deep; anything far beyond is not a
// plural rule, and the limits keep parsing and every evaluation's recursion short.
constexpr std::size_t kMaxExpressionLength = 1000;
constexpr int kMaxDepth = 40;
constexpr std::uint64_t kMaxForms = 32;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Reads a whole non-negative decimal number; nullopt for anything else or an overflow.
std::optional<std::uint64_t> readCount(std::string_view text) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

}  // namespace

// Recursive descent in C's precedence order; every node remembers its depth so that long
// left-leaning chains ("n+n+n+...") are refused as well as deep nesting.
class PluralParser {
  public:
    using Node = PluralRule::Node;
    using Op = PluralRule::Op;

    explicit PluralParser(std::string_view text) : text_(text) {}

    bool parse(std::vector<Node>& nodes) {
        std::optional<std::uint32_t> root = conditional();
        skipSpaces();
        if (!root || at_ != text_.size())
            return false;
        nodes = std::move(nodes_);
        return true;
    }

  private:
    struct Binary {
        std::string_view token;
        Op op;
    };

    void skipSpaces() {
        while (at_ < text_.size() && isSpace(text_[at_]))
            ++at_;
    }

    bool take(std::string_view token) {
        skipSpaces();
        if (text_.substr(at_).starts_with(token)) {
            at_ += token.size();
            return true;
        }
        return false;
    }

    // "<" must not swallow the start of "<=", nor "!" that of "!=".
    bool takeOperator(std::string_view token) {
        skipSpaces();
        std::string_view rest = text_.substr(at_);
        if (!rest.starts_with(token))
            return false;
        if (token.size() == 1 && rest.size() > 1 && rest[1] == '=' &&
            (token == "<" || token == ">" || token == "!"))
            return false;
        at_ += token.size();
        return true;
    }

    std::optional<std::uint32_t> add(Op op, std::uint64_t value, std::uint32_t a = 0,
                                     std::uint32_t b = 0, std::uint32_t c = 0, int depth = 1) {
        if (depth > kMaxDepth)
            return std::nullopt;
        nodes_.push_back(Node{op, value, a, b, c});
        depths_.push_back(depth);
        return static_cast<std::uint32_t>(nodes_.size() - 1);
    }

    int depthOf(std::uint32_t node) const { return depths_[node]; }

    std::optional<std::uint32_t> conditional() {
        if (++nesting_ > kMaxDepth)
            return std::nullopt;
        std::optional<std::uint32_t> test = logicalOr();
        if (test && take("?")) {
            std::optional<std::uint32_t> yes = conditional();
            if (!yes || !take(":"))
                return std::nullopt;
            std::optional<std::uint32_t> no = conditional();
            if (!no)
                return std::nullopt;
            int depth = 1 + std::max({depthOf(*test), depthOf(*yes), depthOf(*no)});
            test = add(Op::conditional, 0, *test, *yes, *no, depth);
        }
        --nesting_;
        return test;
    }

    // One level of left-associative binary operators, over the next level down.
    template <typename Next>
    std::optional<std::uint32_t> binaryLevel(std::initializer_list<Binary> operators, Next next) {
        std::optional<std::uint32_t> left = (this->*next)();
        while (left) {
            const Binary* found = nullptr;
            for (const Binary& candidate : operators) {
                if (takeOperator(candidate.token)) {
                    found = &candidate;
                    break;
                }
            }
            if (found == nullptr)
                break;
            std::optional<std::uint32_t> right = (this->*next)();
            if (!right)
                return std::nullopt;
            int depth = 1 + std::max(depthOf(*left), depthOf(*right));
            left = add(found->op, 0, *left, *right, 0, depth);
        }
        return left;
    }

    std::optional<std::uint32_t> logicalOr() {
        return binaryLevel({{"||", Op::logicalOr}}, &PluralParser::logicalAnd);
    }
    std::optional<std::uint32_t> logicalAnd() {
        return binaryLevel({{"&&", Op::logicalAnd}}, &PluralParser::equality);
    }
    std::optional<std::uint32_t> equality() {
        return binaryLevel({{"==", Op::equal}, {"!=", Op::notEqual}}, &PluralParser::relation);
    }
    std::optional<std::uint32_t> relation() {
        return binaryLevel(
            {{"<=", Op::lessEqual}, {">=", Op::greaterEqual}, {"<", Op::less}, {">", Op::greater}},
            &PluralParser::additive);
    }
    std::optional<std::uint32_t> additive() {
        return binaryLevel({{"+", Op::add}, {"-", Op::subtract}}, &PluralParser::multiplicative);
    }
    std::optional<std::uint32_t> multiplicative() {
        return binaryLevel({{"*", Op::multiply}, {"/", Op::divide}, {"%", Op::remainder}},
                           &PluralParser::unary);
    }

    std::optional<std::uint32_t> unary() {
        if (takeOperator("!")) {
            if (++nesting_ > kMaxDepth)
                return std::nullopt;
            std::optional<std::uint32_t> operand = unary();
            --nesting_;
            if (!operand)
                return std::nullopt;
            return add(Op::logicalNot, 0, *operand, 0, 0, 1 + depthOf(*operand));
        }
        return primary();
    }

    std::optional<std::uint32_t> primary() {
        if (take("(")) {
            std::optional<std::uint32_t> inner = conditional();
            if (!inner || !take(")"))
                return std::nullopt;
            return inner;
        }
        if (take("n"))
            return add(Op::n, 0);
        skipSpaces();
        std::size_t end = at_;
        while (end < text_.size() && text_[end] >= '0' && text_[end] <= '9')
            ++end;
        std::optional<std::uint64_t> value = readCount(text_.substr(at_, end - at_));
        if (!value)
            return std::nullopt;
        at_ = end;
        return add(Op::number, *value);
    }

    std::string_view text_;
    std::size_t at_ = 0;
    int nesting_ = 0;
    std::vector<Node> nodes_;
    std::vector<int> depths_;
};

PluralRule::PluralRule() {
    // (n != 1)
    nodes_ = {Node{Op::n, 0, 0, 0, 0}, Node{Op::number, 1, 0, 0, 0},
              Node{Op::notEqual, 0, 0, 1, 0}};
}

std::optional<PluralRule> PluralRule::parse(std::string_view pluralForms) {
    std::optional<std::uint64_t> count;
    std::optional<std::string_view> expression;
    // "nplurals=N; plural=EXPR;" in either order; the expression holds no ';'.
    while (!pluralForms.empty()) {
        std::size_t semicolon = pluralForms.find(';');
        std::string_view assignment = trim(pluralForms.substr(0, semicolon));
        pluralForms = semicolon == std::string_view::npos ? std::string_view{}
                                                          : pluralForms.substr(semicolon + 1);
        std::size_t equals = assignment.find('=');
        if (assignment.empty() || equals == std::string_view::npos)
            continue;
        std::string_view name = trim(assignment.substr(0, equals));
        std::string_view value = trim(assignment.substr(equals + 1));
        if (name == "nplurals")
            count = readCount(value);
        else if (name == "plural")
            expression = value;
    }
    if (!count || *count < 1 || *count > kMaxForms || !expression ||
        expression->size() > kMaxExpressionLength)
        return std::nullopt;

    PluralRule rule;
    if (!PluralParser(*expression).parse(rule.nodes_))
        return std::nullopt;
    rule.count_ = static_cast<std::size_t>(*count);
    return rule;
}

std::size_t PluralRule::formFor(std::uint64_t n) const {
    std::optional<std::uint64_t> form = evaluate(static_cast<std::uint32_t>(nodes_.size() - 1), n);
    return form && *form < count_ ? static_cast<std::size_t>(*form) : 0;
}

// Unsigned arithmetic as gettext does it: wrapping, never undefined. Nullopt only for a
// division by zero.
std::optional<std::uint64_t> PluralRule::evaluate(std::uint32_t node, std::uint64_t n) const {
    const Node& x = nodes_[node];
    switch (x.op) {
        case Op::number:
            return x.value;
        case Op::n:
            return n;
        case Op::logicalNot: {
            std::optional<std::uint64_t> a = evaluate(x.a, n);
            return a ? std::optional<std::uint64_t>(*a == 0) : std::nullopt;
        }
        case Op::logicalAnd:
        case Op::logicalOr: {
            std::optional<std::uint64_t> a = evaluate(x.a, n);
            if (!a)
                return std::nullopt;
            if ((*a != 0) == (x.op == Op::logicalOr))
                return x.op == Op::logicalOr ? 1 : 0;
            std::optional<std::uint64_t> b = evaluate(x.b, n);
            return b ? std::optional<std::uint64_t>(*b != 0) : std::nullopt;
        }
        case Op::conditional: {
            std::optional<std::uint64_t> test = evaluate(x.a, n);
            if (!test)
                return std::nullopt;
            return evaluate(*test != 0 ? x.b : x.c, n);
        }
        default:
            break;
    }
    std::optional<std::uint64_t> a = evaluate(x.a, n);
    std::optional<std::uint64_t> b = evaluate(x.b, n);
    if (!a || !b)
        return std::nullopt;
    switch (x.op) {
        case Op::multiply:
            return *a * *b;
        case Op::divide:
            return *b == 0 ? std::nullopt : std::optional<std::uint64_t>(*a / *b);
        case Op::remainder:
            return *b == 0 ? std::nullopt : std::optional<std::uint64_t>(*a % *b);
        case Op::add:
            return *a + *b;
        case Op::subtract:
            return *a - *b;
        case Op::less:
            return *a < *b;
        case Op::greater:
            return *a > *b;
        case Op::lessEqual:
            return *a <= *b;
        case Op::greaterEqual:
            return *a >= *b;
        case Op::equal:
            return *a == *b;
        case Op::notEqual:
            return *a != *b;
        default:
            return std::nullopt;
    }
}

}  // namespace tf

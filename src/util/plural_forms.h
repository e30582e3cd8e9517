// A catalogue's plural rule, from the "Plural-Forms: nplurals=N; plural=EXPR;" line of its
// header. EXPR is the small C subset gettext uses (n, integer literals, ! * / % + - < > <= >=
// == != && || ?: and parentheses). Catalogues come from outside the program, so the rule is
// parsed once with bounded depth and size, and evaluating it cannot fail: a division by zero
// picks form 0, as does a result past the last form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tf {

class PluralRule {
  public:
    // English (and gettext's rule for a catalogue without one): nplurals=2; plural=(n != 1).
    PluralRule();

    // The rule of a Plural-Forms value such as "nplurals=2; plural=(n > 1);"; nullopt when it
    // is malformed, too deep or too long.
    static std::optional<PluralRule> parse(std::string_view pluralForms);

    std::size_t count() const { return count_; }

    // The form (0 .. count() - 1) for a count of n.
    std::size_t formFor(std::uint64_t n) const;

  private:
    enum class Op : std::uint8_t {
        number,
        n,
        logicalNot,
        multiply,
        divide,
        remainder,
        add,
        subtract,
        less,
        greater,
        lessEqual,
        greaterEqual,
        equal,
        notEqual,
        logicalAnd,
        logicalOr,
        conditional,
    };
    struct Node {
        Op op;
        std::uint64_t value;  // of a number
        std::uint32_t a, b, c;
    };
    friend class PluralParser;

    std::optional<std::uint64_t> evaluate(std::uint32_t node, std::uint64_t n) const;

    std::size_t count_ = 2;
    std::vector<Node> nodes_;  // the root is the last node
};

}  // namespace tf

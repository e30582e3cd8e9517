#include "util/size_text.h"

#include <array>
#include <charconv>
#include <string_view>

namespace tf {

std::string fileSizeWithValue(double bytes) {
    static constexpr std::array<std::string_view, 5> kUnits = {"B", "KB", "MB", "GB", "TB"};
    std::size_t unit = 0;
    while (bytes > 1000.0 && unit + 1 < kUnits.size()) {
        bytes /= 1000.0;
        ++unit;
    }

    // to_chars never looks at the locale, so the separator is "." whatever LC_NUMERIC says.
    std::array<char, 512> buffer{};
    auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), bytes,
                                      std::chars_format::fixed, 2);
    std::string number =
        error == std::errc{} ? std::string(buffer.data(), end) : std::string("0.00");
    // "%4.2f": at least four characters, padded on the left ("nan" becomes " nan").
    if (number.size() < 4)
        number.insert(0, 4 - number.size(), ' ');
    std::string text = std::move(number);
    text += ' ';
    text += kUnits[unit];
    return text;
}

}  // namespace tf

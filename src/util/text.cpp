#include "util/text.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <fstream>

namespace tf {

namespace {

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// UTF-8 forms of the non-ASCII white space and line-break characters (NBSP, NEL, the
// U+2000 block, line/paragraph separators, ideographic space, ...): names pasted from other
// programs often carry them, and they must not make a blank string look set.
constexpr std::array<std::string_view, 17> kUnicodeSpaces = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE3\x80\x80"};

std::size_t leadingSpace(std::string_view text) {
    if (text.empty())
        return 0;
    if (isAsciiSpace(text.front()))
        return 1;
    // Every other space is a multi-byte sequence; plain ASCII text needs no search.
    if (static_cast<unsigned char>(text.front()) < 0x80)
        return 0;
    for (std::string_view space : kUnicodeSpaces) {
        if (text.starts_with(space))
            return space.size();
    }
    return 0;
}

std::size_t trailingSpace(std::string_view text) {
    if (text.empty())
        return 0;
    if (isAsciiSpace(text.back()))
        return 1;
    if (static_cast<unsigned char>(text.back()) < 0x80)
        return 0;
    for (std::string_view space : kUnicodeSpaces) {
        if (text.ends_with(space))
            return space.size();
    }
    return 0;
}

std::string_view trimmedView(std::string_view text) {
    while (std::size_t n = leadingSpace(text))
        text.remove_prefix(n);
    while (std::size_t n = trailingSpace(text))
        text.remove_suffix(n);
    return text;
}

void fillRandom(unsigned char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::getrandom(bytes + done, count - done, 0);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got < 0 && errno != EINTR) {
            break;
        }
    }
    if (done == count)
        return;
    // Kernels without getrandom(2): the device gives the same entropy.
    std::ifstream urandom("/dev/urandom", std::ios::binary);
    urandom.read(reinterpret_cast<char*>(bytes + done), static_cast<std::streamsize>(count - done));
}

// The leading integer of a version component, read the way strtol reads it: optional
// white space and sign, then digits; anything else ends it, no digits give 0.
long long leadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isAsciiSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (value > (LLONG_MAX - digit) / 10)
            return negative ? LLONG_MIN : LLONG_MAX;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace

bool isValid(std::string_view text) {
    std::string_view trimmed = trimmedView(text);
    return !trimmed.empty() && text != "(null)";
}

std::string trim(std::string_view text) {
    return std::string(trimmedView(text));
}

std::string uuid() {
    std::array<unsigned char, 16> bytes{};
    fillRandom(bytes.data(), bytes.size());
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant

    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    return text;
}

int compareVersion(std::string_view receiver, std::string_view other) {
    std::vector<std::string> mine = split(receiver, '.');
    std::vector<std::string> theirs = split(other, '.');
    std::size_t count = std::max(mine.size(), theirs.size());
    for (std::size_t i = 0; i < count; ++i) {
        long long a = i < mine.size() ? leadingInteger(mine[i]) : 0;
        long long b = i < theirs.size() ? leadingInteger(theirs[i]) : 0;
        if (a != b)
            return a > b ? 1 : -1;
    }
    return 0;
}

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            text += separator;
        text += parts[i];
    }
    return text;
}

std::string toLower(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::string toUpper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.starts_with(prefix);
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.ends_with(suffix);
}

}  // namespace tf

namespace tf {

std::string oneLine(std::string_view text, std::size_t maxLength) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7f) {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0xf];
        } else {
            out += c;
        }
        if (out.size() > maxLength) {
            out.resize(maxLength);
            out += "...";
            break;
        }
    }
    return out;
}

}  // namespace tf

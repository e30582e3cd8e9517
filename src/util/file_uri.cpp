#include "util/file_uri.h"

namespace tf {

namespace {

constexpr std::string_view kScheme = "file:";
constexpr std::string_view kLocalHost = "localhost";

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = lowerAscii(c);
    if (lower >= 'a' && lower <= 'f') {
        return lower - 'a' + 10;
    }
    return -1;
}

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

std::optional<std::string> refuse(std::string* error, std::string_view reason) {
    if (error != nullptr) {
        *error = reason;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> localPathFromUri(std::string_view uri, std::string* error) {
    if (uri.size() < kScheme.size() ||
        !equalsIgnoringAsciiCase(uri.substr(0, kScheme.size()), kScheme)) {
        return refuse(error, "not a file URI");
    }
    std::string_view rest = uri.substr(kScheme.size());
    if (rest.substr(0, 2) != "//") {
        return refuse(error, "file URI without an authority (expected file:///path)");
    }
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !equalsIgnoringAsciiCase(host, kLocalHost)) {
        return refuse(error, "file URI on another host");
    }
    if (slash == std::string_view::npos) {
        return refuse(error, "file URI without an absolute path");
    }
    const std::string_view encoded = rest.substr(slash);
    std::string path;
    path.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '?' || c == '#') {
            // A name holding these arrives escaped; dropping the tail would name another file.
            return refuse(error, "file URI with a query or fragment");
        }
        if (isControl(c)) {
            return refuse(error, "raw control character in file URI");
        }
        if (c != '%') {
            path += c;
            continue;
        }
        const int high = i + 1 < encoded.size() ? hexValue(encoded[i + 1]) : -1;
        const int low = i + 2 < encoded.size() ? hexValue(encoded[i + 2]) : -1;
        if (high < 0 || low < 0) {
            return refuse(error, "malformed percent escape in file URI");
        }
        const int byte = high * 16 + low;
        if (byte == 0) {
            return refuse(error, "file URI decodes to a NUL byte");
        }
        path += static_cast<char>(static_cast<unsigned char>(byte));
        i += 2;
    }
    // The authority ends at the first '/', so a path is always absolute here; the check stays
    // so that a later change to the parsing cannot hand out a relative path.
    if (path.empty() || path.front() != '/') {
        return refuse(error, "file URI without an absolute path");
    }
    return path;
}

std::string fileUriFromPath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    uri.reserve(uri.size() + path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || c == '/' || c == '-' || c == '.' ||
                           c == '_' || c == '~';
        if (plain) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0x0F];
        }
    }
    return uri;
}

bool isUsablePlainPath(std::string_view path, std::string* error) {
    if (path.empty()) {
        refuse(error, "empty path");
        return false;
    }
    if (path.find('\0') != std::string_view::npos) {
        refuse(error, "path contains a NUL byte");
        return false;
    }
    return true;
}

}  // namespace tf

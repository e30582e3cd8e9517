// Local paths from file:// URIs and from command-line path arguments. No Qt: the service, the
// command line and the fuzz target share this one decoder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tf {

// The local path a file:// URI names, with the name's bytes kept exactly (names need not be
// UTF-8). Accepted: "file:///..." and "file://localhost/..." (scheme and host in any case).
// Refused with a short English reason in *error: other schemes, other hosts, a query or a
// fragment, a raw control character, a '%' not followed by two hex digits, an escape that
// decodes to a NUL byte (the name would be cut there), and a result that is not absolute.
// A refused URI is never half-decoded: callers act on the whole name or on nothing.
std::optional<std::string> localPathFromUri(std::string_view uri, std::string* error = nullptr);

// The file:// URI of an absolute path: every byte other than an unreserved character or '/'
// is percent-escaped, so any name (UTF-8 or not) comes back whole from localPathFromUri.
std::string fileUriFromPath(std::string_view path);

// A path given as plain text (a command-line argument, a line of input) that can name a file:
// not empty and free of NUL bytes, which the system would silently cut the name at.
bool isUsablePlainPath(std::string_view path, std::string* error = nullptr);

}  // namespace tf

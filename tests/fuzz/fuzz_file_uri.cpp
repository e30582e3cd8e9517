// The file-URI reader (what file managers and drops hand over): any text either fails with a
// reason or gives an absolute path without NUL that our own encoder turns into a URI which
// reads back as that very path.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "model/file_record.h"
#include "util/file_uri.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view uri(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto path = tf::localPathFromUri(uri, &error);
    if (!path) {
        return 0;
    }
    const std::string text(uri);
    tf::fuzz::check(path->starts_with('/'), "a relative path", text + "\n" + *path);
    tf::fuzz::check(path->find('\0') == std::string::npos, "a path holding NUL", text);
    const std::string again = tf::fileURL(*path);
    error.clear();
    const auto back = tf::localPathFromUri(again, &error);
    tf::fuzz::check(back.has_value(), "our own URI is refused", again + "\n" + error);
    tf::fuzz::check(*back == *path, "our own URI reads as another path", again + "\n" + *back);
    return 0;
}

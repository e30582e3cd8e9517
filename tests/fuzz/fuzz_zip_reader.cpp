// The zip reader (archives from anywhere, unpacked by the host): whatever the bytes, the
// password check and the unzip return, nothing lands outside the destination, a failed unzip
// leaves nothing behind, and a successful one leaves only files, folders and links that stay
// inside.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "zip/zip_reader.h"

namespace {

namespace fs = std::filesystem;

// One scratch folder per process, removed at exit; each input unpacks into root/out.
struct Scratch {
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "fuzz-zip-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            tf::fuzz::fail("cannot make a scratch folder");
        }
        root = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path root;
};

const fs::path& scratch() {
    static const Scratch folder;
    return folder.root;
}

// A link's target stays below root when read from where the link is.
bool staysInside(const fs::path& root, const fs::path& link) {
    const fs::path target = fs::read_symlink(link);
    if (target.is_absolute()) {
        return false;
    }
    const fs::path resolved = (link.parent_path() / target).lexically_normal();
    const fs::path relative = resolved.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view archive(reinterpret_cast<const char*>(data), size);
    const fs::path& root = scratch();
    const fs::path out = root / "out";
    std::error_code ec;
    fs::remove_all(out, ec);

    tf::ZipError error;
    static_cast<void>(tf::zip::isPasswordValidForArchiveData(archive, "pw", &error));

    tf::zip::UnzipOptions options;
    options.password = "pw";
    // Small bounds keep each input fast; the bound itself is what is checked.
    options.limits.maxTotalBytes = 4 << 20;
    options.limits.maxEntries = 2000;
    const tf::zip::UnzipResult result = tf::zip::unzipArchiveData(archive, out.string(), options);

    for (const auto& entry : fs::directory_iterator(root)) {
        tf::fuzz::check(entry.path() == out, "something written beside the destination",
                        entry.path().string());
    }
    if (!result.ok) {
        tf::fuzz::check(result.error.has_value(), "a failure without an error");
        tf::fuzz::check(!fs::exists(fs::symlink_status(out)), "a failed unzip left files",
                        result.error->message);
        return 0;
    }
    if (!fs::exists(out)) {
        return 0;  // an archive without entries
    }
    std::uintmax_t total = 0;
    for (auto it = fs::recursive_directory_iterator(out); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status)) {
            tf::fuzz::check(staysInside(out, it->path()), "a link out of the destination",
                            it->path().string());
        } else if (fs::is_regular_file(status)) {
            total += fs::file_size(it->path());
        } else {
            tf::fuzz::check(fs::is_directory(status), "a special file was made",
                            it->path().string());
        }
    }
    tf::fuzz::check(total <= options.limits.maxTotalBytes, "unpacked past the bound");
    return 0;
}

#include "engine/path_predicates.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <fstream>

#include "util/posix.h"
#include "util/text.h"

namespace tf {

namespace {

bool hasImmutableAttribute(const std::string& path) {
    // O_PATH descriptors cannot take the ioctl; a plain read-only open works on files and
    // folders alike and never blocks on a FIFO thanks to O_NONBLOCK.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    int flags = 0;
    return fd.valid() && ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & FS_IMMUTABLE_FL) != 0;
}

}  // namespace

bool isLocked(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (hasImmutableAttribute(path)) {
        return true;
    }
    const std::string name(kLockModeAttribute);
    return ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0) >= 0;
}

bool hasCustomIcon(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    struct stat info {};
    if (::lstat((path + "/Icon\r").c_str(), &info) == 0) {
        return true;
    }
    std::ifstream desktop(path + "/.directory");
    std::string line;
    bool inEntry = false;
    while (std::getline(desktop, line)) {
        const std::string trimmed = trim(line);
        if (startsWith(trimmed, "[")) {
            inEntry = trimmed == "[Desktop Entry]";
        } else if (inEntry && startsWith(trimmed, "Icon=") && trimmed.size() > 5) {
            return true;
        }
    }
    return false;
}

}  // namespace tf

#include "util/posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tf {

namespace {

// strerror_r comes in two forms: the GNU one returns the text (which may be a static
// string), the XSI one fills the buffer and returns a status. Overloads pick whichever the
// C library declares.
[[maybe_unused]] std::string strerrorResult(const char* text, const char* /*buffer*/, int) {
    return text;
}

[[maybe_unused]] std::string strerrorResult(int status, const char* buffer, int error) {
    return status == 0 ? std::string(buffer) : "Unknown error " + std::to_string(error);
}

}  // namespace

int UniqueFd::release() noexcept {
    return std::exchange(fd_, -1);
}

void UniqueFd::reset(int fd) noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

int UniqueFd::close() noexcept {
    const int fd = release();
    if (fd < 0 || ::close(fd) == 0) {
        return 0;
    }
    return errno;
}

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return EIO;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int readAll(int fd, std::string& out) {
    std::array<char, 64 * 1024> buffer;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        out.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

std::optional<std::string> readFileBytes(const std::string& path, bool noFollow) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0)));
    std::string bytes;
    if (!fd.valid() || readAll(fd.get(), bytes) != 0) {
        return std::nullopt;
    }
    return bytes;
}

int replaceFileContents(const std::string& path, std::string_view bytes, mode_t mode) {
    std::string temporary = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return errno;
    }
    int error = writeAll(fd.get(), bytes);
    if (error == 0 && ::fchmod(fd.get(), mode) != 0) {
        error = errno;
    }
    if (const int closing = fd.close(); error == 0) {
        error = closing;
    }
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
    }
    return error;
}

std::string errnoText(int error) {
    std::array<char, 256> buffer{};
    return strerrorResult(::strerror_r(error, buffer.data(), buffer.size()), buffer.data(), error);
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace tf

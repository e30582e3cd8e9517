// Small POSIX helpers every layer shares: an owned descriptor, whole reads and writes that
// survive signals and short transfers, error texts, and the "can this be run" check.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tf {

// Owns one file descriptor and closes it when it goes out of scope. Move-only.
class UniqueFd {
  public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    // Gives up ownership: the caller closes the descriptor.
    [[nodiscard]] int release() noexcept;
    // Closes the descriptor held (if any) and takes fd instead.
    void reset(int fd = -1) noexcept;
    // Closes now and says how that went (0 or the error number): some file systems report
    // a failed write only when the file is closed.
    [[nodiscard]] int close() noexcept;

  private:
    int fd_ = -1;
};

// Writes every byte, going on after short writes and interrupted calls. Returns 0, or the
// error number of the write that failed (EIO when the descriptor takes nothing more).
[[nodiscard]] int writeAll(int fd, std::string_view bytes);

// Appends everything up to the end of the input to out. Returns 0 or the error number.
[[nodiscard]] int readAll(int fd, std::string& out);

// A whole file as bytes; nullopt when it cannot be opened or read. With noFollow a link
// in the last component is refused rather than followed.
std::optional<std::string> readFileBytes(const std::string& path, bool noFollow = false);

// Gives path exactly these contents, with this mode, through a temporary file beside it
// renamed over it: a reader sees the old file or the new one, never half of one. The
// temporary is removed on failure. Returns 0 or the error number.
[[nodiscard]] int replaceFileContents(const std::string& path, std::string_view bytes,
                                      mode_t mode = 0644);

// The system's text for an error number ("No such file or directory"); safe on any thread.
std::string errnoText(int error);

// A regular file (links followed) that this process may run.
bool isExecutableFile(const std::string& path);

// Two file times to the nanosecond, as stat reports them.
inline bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace tf

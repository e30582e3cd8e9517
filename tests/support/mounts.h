// Mounts for one test: a small tmpfs (to run a copy out of space) or a bind mount (a second
// path to the same folder). Mounting needs privileges; where it fails, the test skips and
// says why. Unmounted when the object goes, before the temporary folders are removed.
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "util/posix.h"

namespace tf::test {

class ScopedMount {
  public:
    // A tmpfs of `size` ("1m") at `at`, created when missing. Null (and `why`) on failure.
    static std::unique_ptr<ScopedMount> tmpfs(const std::filesystem::path& at,
                                              const std::string& size, std::string& why) {
        std::filesystem::create_directories(at);
        const std::string options = "size=" + size;
        if (::mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            why = "cannot mount a tmpfs here: " + errnoText(errno);
            return nullptr;
        }
        return std::unique_ptr<ScopedMount>(new ScopedMount(at));
    }
    // The folder `from` seen again at `at`, created when missing.
    static std::unique_ptr<ScopedMount> bind(const std::filesystem::path& from,
                                             const std::filesystem::path& at, std::string& why) {
        std::filesystem::create_directories(at);
        if (::mount(from.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            why = "cannot bind-mount here: " + errnoText(errno);
            return nullptr;
        }
        return std::unique_ptr<ScopedMount>(new ScopedMount(at));
    }

    ~ScopedMount() { ::umount2(at_.c_str(), MNT_DETACH); }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

  private:
    explicit ScopedMount(std::filesystem::path at) : at_(std::move(at)) {}
    std::filesystem::path at_;
};

}  // namespace tf::test

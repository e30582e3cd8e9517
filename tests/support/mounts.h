// A mount for one test (a small tmpfs to run out of space, a bind mount as a second path to a
// folder), undone when the object goes. Mounting needs privileges; where it fails, the test
// skips with the reason.
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
    // mount(2) with these arguments, `at` created first; null (and `why`) when refused.
    static std::unique_ptr<ScopedMount> mount(const std::string& source,
                                              const std::filesystem::path& at, const char* type,
                                              unsigned long flags, const std::string& options,
                                              std::string& why) {
        std::filesystem::create_directories(at);
        if (::mount(source.c_str(), at.c_str(), type, flags, options.c_str()) != 0) {
            why = "cannot mount at " + at.string() + ": " + errnoText(errno);
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

// The one way a fuzz target reports a broken invariant: say what and abort, which both
// libFuzzer and the replay runner count as a failure.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tf::fuzz {

[[noreturn]] inline void fail(std::string_view what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    if (!detail.empty()) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(detail.size()), detail.data());
    }
    std::abort();
}

inline void check(bool ok, std::string_view what, std::string_view detail = {}) {
    if (!ok) {
        fail(what, detail);
    }
}

}  // namespace tf::fuzz

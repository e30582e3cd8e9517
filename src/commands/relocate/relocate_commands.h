// Embed, unembed, "Copy to", "Move to", cut and paste. The handlers are registered by
// registerRelocateCommands (builtin_commands.h); this header holds their tuning.
#pragma once

#include <chrono>
#include <cstddef>

namespace tf {

// How "Copy to" and "Move to" report progress: a copy reports its percentage no sooner than
// `interval` after it started and then at most once per `interval` (so short copies show
// none); `chunkSize` bytes are copied per step (0: the copy engine's default).
struct RelocateProgressTuning {
    std::chrono::milliseconds interval{250};
    std::size_t chunkSize = 0;
};
void setRelocateProgressTuning(RelocateProgressTuning tuning);
RelocateProgressTuning relocateProgressTuning();

}  // namespace tf

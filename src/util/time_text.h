#pragma once

#include <chrono>
#include <string>

namespace tf {

using SystemTime = std::chrono::system_clock::time_point;

// Localized relative age of a timestamp ("Just now", "%d minutes ago", ... "%d years ago").
// A month is 30 days and a year 12 such months; a timestamp in the future is "Just now".
std::string timeAgo(SystemTime timestamp, SystemTime now = std::chrono::system_clock::now());

}  // namespace tf

// Starting helper programs from tests (services, buses, set-up tools) without a shell.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tf::test {

// Starts a program with an argument vector (PATH searched), its standard output on
// `stdoutFd` when that is not negative. The pid, or -1 with the errno value in `error`.
pid_t spawnProgram(const std::vector<std::string>& argv, int stdoutFd = -1, int* error = nullptr);

}  // namespace tf::test

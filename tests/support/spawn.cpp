#include "support/spawn.h"

#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace tf::test {

pid_t spawnProgram(const std::vector<std::string>& argv, int stdoutFd, int* error) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    }
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != nullptr) {
        *error = failed;
    }
    return failed == 0 ? pid : -1;
}

}  // namespace tf::test

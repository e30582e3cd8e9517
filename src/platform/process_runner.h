// Port for running programs. Our own commands always pass an argument vector; the only
// shell command lines are the user's own scripts, which callers hand to a shell explicitly
// ({"/bin/bash", "-c", script}).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tf {

struct ProcessRequest {
    std::vector<std::string> argv;
    // Empty keeps the caller's working folder.
    std::string workingDirectory;
    // Written to the program's standard input, which is then closed.
    std::string input;
    // Added to (or replacing in) the inherited environment.
    std::vector<std::pair<std::string, std::string>> environment;
};

struct ProcessResult {
    bool started = false;
    // Exit status when the program exited; -1 when it did not start or was killed.
    int exitCode = -1;
    // Signal number when it was killed by one, else 0.
    int signal = 0;
    std::string out;
    std::string err;
    // Why it could not start, when it could not.
    std::string error;

    bool succeeded() const { return started && signal == 0 && exitCode == 0; }
};

class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;
    // Runs the program to its end and collects both outputs.
    virtual ProcessResult run(const ProcessRequest& request) = 0;
    // Starts the program and does not wait for it (it is not left a zombie); true when it
    // started.
    virtual bool spawnDetached(const ProcessRequest& request) = 0;
};

// posix_spawn with an argument vector; the program is looked up on PATH when argv[0] holds
// no slash.
class PosixProcessRunner : public ProcessRunner {
  public:
    ProcessResult run(const ProcessRequest& request) override;
    bool spawnDetached(const ProcessRequest& request) override;
};

// The absolute path of a program found on PATH (or the name itself when it holds a slash
// and is executable); nothing when absent.
std::optional<std::string> findProgram(const std::string& name);

}  // namespace tf

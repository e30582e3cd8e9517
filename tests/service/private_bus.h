// A private session bus and child processes for tests and benchmarks of the menu service:
// nothing here reaches the real session bus, and every process started is ended by its pid.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tf::test {

// A program started from an argument vector with this process's environment.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // `stdoutFd`, when given, becomes the child's standard output.
    bool start(const std::vector<std::string>& argv, std::string& error, int stdoutFd = -1);
    pid_t pid() const { return pid_; }
    // The exit status once the child has ended within `timeout` (-1 when a signal ended it).
    std::optional<int> waitExit(std::chrono::milliseconds timeout);
    bool running();
    // SIGTERM, then SIGKILL when it does not end within two seconds.
    void stop();

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

class PrivateBus {
  public:
    PrivateBus() = default;
    ~PrivateBus() { daemon_.stop(); }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // A dbus-daemon listening in `folder`; services in `serviceDir` start on demand.
    bool start(const std::filesystem::path& folder, const std::filesystem::path& serviceDir,
               std::string& error);
    const std::string& address() const { return address_; }
    // Ends the daemon, as when the session ends.
    void stop() { daemon_.stop(); }

  private:
    ChildProcess daemon_;
    std::string address_;
};

}  // namespace tf::test

#include "private_bus.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

#include "support/spawn.h"

namespace tf::test {

namespace {

constexpr std::chrono::milliseconds kPoll{10};

std::string xmlEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

ChildProcess::~ChildProcess() {
    stop();
}

bool ChildProcess::start(const std::vector<std::string>& argv, std::string& error, int stdoutFd) {
    int failed = 0;
    pid_ = spawnProgram(argv, stdoutFd, &failed);
    if (pid_ < 0) {
        error = "cannot start " + argv[0] + ": " + std::strerror(failed);
        return false;
    }
    status_.reset();
    return true;
}

std::optional<int> ChildProcess::waitExit(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0) {
        return status_;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        int raw = 0;
        const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            return status_;
        }
        if (done < 0 && errno != EINTR) {
            status_ = -1;
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(kPoll);
    }
}

bool ChildProcess::running() {
    return pid_ > 0 && !waitExit(std::chrono::milliseconds(0));
}

void ChildProcess::stop() {
    if (!running()) {
        return;
    }
    ::kill(pid_, SIGTERM);
    if (!waitExit(std::chrono::seconds(2))) {
        ::kill(pid_, SIGKILL);
        waitExit(std::chrono::seconds(5));
    }
}

bool PrivateBus::start(const std::filesystem::path& folder, const std::filesystem::path& serviceDir,
                       std::string& error) {
    const std::filesystem::path config = folder / "session.conf";
    {
        std::ofstream out(config);
        out << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
               "1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n  <type>session</type>\n"
            << "  <listen>unix:dir=" << xmlEscaped(folder.string()) << "</listen>\n";
        if (!serviceDir.empty()) {
            out << "  <servicedir>" << xmlEscaped(serviceDir.string()) << "</servicedir>\n";
        }
        out << "  <policy context=\"default\">\n"
               "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n"
               "  </policy>\n</busconfig>\n";
        if (!out) {
            error = "cannot write the bus configuration";
            return false;
        }
    }
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        error = "no pipe";
        return false;
    }
    const bool started = daemon_.start(
        {"dbus-daemon", "--nofork", "--print-address", "--config-file=" + config.string()}, error,
        pipeFds[1]);
    ::close(pipeFds[1]);
    if (!started) {
        ::close(pipeFds[0]);
        return false;
    }
    // The daemon prints its address once it listens.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{pipeFds[0], POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            continue;
        }
        char buffer[512];
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        line.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    const std::size_t end = line.find('\n');
    if (end == std::string::npos) {
        error = "dbus-daemon gave no address";
        daemon_.stop();
        return false;
    }
    address_ = line.substr(0, end);
    return true;
}

}  // namespace tf::test

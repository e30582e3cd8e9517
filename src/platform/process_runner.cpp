#include "platform/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "util/posix.h"

extern char** environ;

namespace tf {
namespace {

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

// Moves a descriptor above the standard three, so that when this process runs with one of
// them closed, wiring the program's standard descriptors never overwrites another pipe end.
UniqueFd aboveStandard(int fd) {
    if (fd > STDERR_FILENO) {
        return UniqueFd(fd);
    }
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return UniqueFd(moved);
}

// Close-on-exec from the start, so a program another thread starts meanwhile never holds
// our ends open.
bool makePipe(Pipe& pipe, std::string& error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + errnoText(errno);
        return false;
    }
    pipe.read = aboveStandard(fds[0]);
    pipe.write = aboveStandard(fds[1]);
    if (!pipe.read.valid() || !pipe.write.valid()) {
        error = std::string("cannot create a pipe: ") + errnoText(errno);
        return false;
    }
    return true;
}

void setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    }
}

std::string defaultSearchPath() {
    const std::size_t size = ::confstr(_CS_PATH, nullptr, 0);
    if (size == 0) {
        return "/bin:/usr/bin";
    }
    std::string path(size, '\0');
    ::confstr(_CS_PATH, path.data(), size);
    path.resize(size - 1);
    return path;
}

std::optional<std::string> findProgramOn(const std::string& name, const std::string& searchPath) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (name.find('/') != std::string::npos) {
        return isExecutableFile(name) ? std::optional<std::string>(name) : std::nullopt;
    }
    std::string_view rest = searchPath;
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        // An empty entry would mean the current folder; never look there implicitly.
        if (!folder.empty()) {
            std::error_code ec;
            const auto candidate =
                std::filesystem::absolute(std::filesystem::path(folder) / name, ec);
            if (!ec && isExecutableFile(candidate.string())) {
                return candidate.string();
            }
        }
        if (colon == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

// The inherited environment with the request's additions replacing same-named entries.
std::vector<std::string> buildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& additions) {
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const std::string_view name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& addition : additions) {
            if (addition.first == name) {
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            entries.emplace_back(text);
        }
    }
    for (const auto& [name, value] : additions) {
        entries.push_back(name + "=" + value);
    }
    return entries;
}

std::vector<char*> pointerArray(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (auto& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

class SpawnActions {
  public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};

class SpawnAttributes {
  public:
    SpawnAttributes() { ::posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

  private:
    posix_spawnattr_t attributes_{};
};

// What a spawn needs besides its descriptors: the checked request, found program and
// environment.
struct Launch {
    std::string program;
    std::vector<std::string> argv;
    std::vector<std::string> environment;
};

std::optional<Launch> prepare(const ProcessRequest& request, std::string& error) {
    if (request.argv.empty() || request.argv.front().empty()) {
        error = "no program given";
        return std::nullopt;
    }
    for (const auto& [name, value] : request.environment) {
        if (name.empty() || name.find('=') != std::string::npos) {
            error = "invalid environment variable name \"" + name + "\"";
            return std::nullopt;
        }
    }
    if (!request.workingDirectory.empty()) {
        struct stat info {};
        if (::stat(request.workingDirectory.c_str(), &info) != 0) {
            error =
                "cannot use working folder " + request.workingDirectory + ": " + errnoText(errno);
            return std::nullopt;
        }
        if (!S_ISDIR(info.st_mode)) {
            error = "cannot use working folder " + request.workingDirectory + ": not a folder";
            return std::nullopt;
        }
    }
    // The program is looked up on the PATH it will run with.
    std::string searchPath;
    bool pathGiven = false;
    for (const auto& [name, value] : request.environment) {
        if (name == "PATH") {
            searchPath = value;
            pathGiven = true;
        }
    }
    if (!pathGiven) {
        const char* inherited = std::getenv("PATH");
        searchPath = inherited != nullptr ? inherited : defaultSearchPath();
    }
    const std::string& name = request.argv.front();
    auto program = findProgramOn(name, searchPath);
    if (!program) {
        error = name.find('/') != std::string::npos
                    ? "cannot run " + name + ": not an executable file"
                    : "program not found: " + name;
        return std::nullopt;
    }
    return Launch{*program, request.argv, buildEnvironment(request.environment)};
}

// Starts the program with the prepared descriptors; 0 or an errno value.
int spawn(Launch& launch, const ProcessRequest& request, SpawnActions& actions, bool newSession,
          pid_t& pid) {
    if (!request.workingDirectory.empty()) {
        const int rc =
            ::posix_spawn_file_actions_addchdir_np(actions.get(), request.workingDirectory.c_str());
        if (rc != 0) {
            return rc;
        }
    }
    SpawnAttributes attributes;
    // The program starts with no signal blocked and default handlers, whatever this process
    // (or the calling thread) blocks or ignores.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (newSession) {
        flags = static_cast<short>(flags | POSIX_SPAWN_SETSID);
    }
    ::posix_spawnattr_setsigmask(attributes.get(), &none);
    ::posix_spawnattr_setsigdefault(attributes.get(), &all);
    ::posix_spawnattr_setflags(attributes.get(), flags);

    auto argv = pointerArray(launch.argv);
    auto envp = pointerArray(launch.environment);
    return ::posix_spawn(&pid, launch.program.c_str(), actions.get(), attributes.get(), argv.data(),
                         envp.data());
}

// A descriptor that becomes readable when the program exits; invalid on kernels without
// pidfd. Called directly because this glibc declares pidfd_open without C linkage for C++.
UniqueFd exitDescriptor(pid_t pid) {
    return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0U)));
}

int waitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

// Blocks SIGPIPE in this thread while it writes to a program that may have gone, and
// swallows the one its writes raised, so the process-wide disposition stays untouched.
class PipeSignalGuard {
  public:
    PipeSignalGuard() {
        sigemptyset(&pipeOnly_);
        sigaddset(&pipeOnly_, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_);
        sigset_t pending;
        sigemptyset(&pending);
        ::sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    }
    ~PipeSignalGuard() {
        if (raised_ && !wasPending_) {
            const timespec zero{};
            while (::sigtimedwait(&pipeOnly_, nullptr, &zero) < 0 && errno == EINTR) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    PipeSignalGuard(const PipeSignalGuard&) = delete;
    PipeSignalGuard& operator=(const PipeSignalGuard&) = delete;

    void noteRaised() { raised_ = true; }

  private:
    sigset_t pipeOnly_{};
    sigset_t previous_{};
    bool wasPending_ = false;
    bool raised_ = false;
};

// Reads what is there now; false at end of file or on an error.
bool readAvailable(int fd, std::string& into) {
    std::array<char, 65536> buffer{};
    while (true) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count > 0) {
            into.append(buffer.data(), static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Feeds the input and collects both outputs until the program has closed them, or has
// exited (a background child it left behind may keep them open; its later output is not
// waited for).
void exchange(UniqueFd& input, const std::string& text, UniqueFd& out, UniqueFd& err, pid_t pid,
              ProcessResult& result) {
    PipeSignalGuard guard;
    UniqueFd exitFd = exitDescriptor(pid);
    std::size_t written = 0;
    if (input.valid() && text.empty()) {
        input.reset();
    }
    while (input.valid() || out.valid() || err.valid()) {
        std::array<pollfd, 4> fds{};
        nfds_t count = 0;
        const auto add = [&](const UniqueFd& fd, short events) {
            if (fd.valid()) {
                fds[count++] = pollfd{fd.get(), events, 0};
            }
        };
        add(input, POLLOUT);
        add(out, POLLIN);
        add(err, POLLIN);
        add(exitFd, POLLIN);
        if (::poll(fds.data(), count, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (nfds_t i = 0; i < count; ++i) {
            const pollfd& entry = fds[i];
            if (entry.revents == 0) {
                continue;
            }
            if (input.valid() && entry.fd == input.get()) {
                const ssize_t n = ::write(entry.fd, text.data() + written, text.size() - written);
                if (n > 0) {
                    written += static_cast<std::size_t>(n);
                    if (written == text.size()) {
                        input.reset();
                    }
                } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                    // Try again on the next round.
                } else {
                    // EPIPE: the program stopped reading; what it did not take is dropped.
                    if (errno == EPIPE) {
                        guard.noteRaised();
                    }
                    input.reset();
                }
            } else if (out.valid() && entry.fd == out.get()) {
                if (!readAvailable(entry.fd, result.out)) {
                    out.reset();
                }
            } else if (err.valid() && entry.fd == err.get()) {
                if (!readAvailable(entry.fd, result.err)) {
                    err.reset();
                }
            } else if (exitFd.valid() && entry.fd == exitFd.get()) {
                // Everything the program wrote before it exited is in the pipes now.
                if (out.valid()) {
                    readAvailable(out.get(), result.out);
                }
                if (err.valid()) {
                    readAvailable(err.get(), result.err);
                }
                return;
            }
        }
    }
}

}  // namespace

std::optional<std::string> findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    return findProgramOn(name, path != nullptr ? path : defaultSearchPath());
}

ProcessResult PosixProcessRunner::run(const ProcessRequest& request) {
    ProcessResult result;
    auto launch = prepare(request, result.error);
    if (!launch) {
        return result;
    }
    Pipe input;
    Pipe out;
    Pipe err;
    if (!makePipe(input, result.error) || !makePipe(out, result.error) ||
        !makePipe(err, result.error)) {
        return result;
    }
    SpawnActions actions;
    ::posix_spawn_file_actions_adddup2(actions.get(), input.read.get(), STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(actions.get(), out.write.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(actions.get(), err.write.get(), STDERR_FILENO);

    pid_t pid = 0;
    const int rc = spawn(*launch, request, actions, false, pid);
    input.read.reset();
    out.write.reset();
    err.write.reset();
    if (rc != 0) {
        result.error = "cannot start " + request.argv.front() + ": " + errnoText(rc);
        return result;
    }
    result.started = true;
    setNonBlocking(input.write.get());
    setNonBlocking(out.read.get());
    setNonBlocking(err.read.get());
    exchange(input.write, request.input, out.read, err.read, pid, result);
    input.write.reset();
    out.read.reset();
    err.read.reset();

    const int status = waitForExit(pid);
    if (status < 0) {
        result.error = std::string("cannot learn how the program ended: ") + errnoText(errno);
    } else if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

bool PosixProcessRunner::spawnDetached(const ProcessRequest& request) {
    std::string error;
    auto launch = prepare(request, error);
    if (!launch) {
        return false;
    }
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    // Its own session, so it outlives this process and its terminal.
    if (spawn(*launch, request, actions, true, pid) != 0) {
        return false;
    }
    try {
        std::thread([pid] { waitForExit(pid); }).detach();
    } catch (const std::system_error&) {
        // No thread to reap it: it stays a zombie until this process ends, but it runs.
    }
    return true;
}

}  // namespace tf

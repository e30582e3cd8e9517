#include "util/posix.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>

#include "support/sandbox.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

struct Pipe {
    UniqueFd read;
    UniqueFd write;
    Pipe() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        read.reset(fds[0]);
        write.reset(fds[1]);
    }
};

// A handler that does nothing, installed without SA_RESTART so that a blocked write returns
// early: short when some bytes went, EINTR when none did.
class InterruptingSignal {
  public:
    InterruptingSignal() {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGUSR1, &action, &old_);
    }
    ~InterruptingSignal() { ::sigaction(SIGUSR1, &old_, nullptr); }
    InterruptingSignal(const InterruptingSignal&) = delete;
    InterruptingSignal& operator=(const InterruptingSignal&) = delete;

  private:
    struct sigaction old_ {};
};

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 7 % 251);
    }
    return bytes;
}

TEST(UniqueFd, ClosesOnceWhateverOwnsIt) {
    Pipe pipe;
    const int fd = pipe.read.get();
    {
        UniqueFd moved(std::move(pipe.read));
        EXPECT_FALSE(pipe.read.valid());
        UniqueFd assigned;
        assigned = std::move(moved);
        EXPECT_FALSE(moved.valid());
        EXPECT_EQ(assigned.get(), fd);
        EXPECT_TRUE(isOpen(fd));
    }
    EXPECT_FALSE(isOpen(fd));

    const int kept = pipe.write.release();
    EXPECT_FALSE(pipe.write.valid());
    EXPECT_TRUE(isOpen(kept));
    UniqueFd again(kept);
    EXPECT_EQ(again.close(), 0);
    EXPECT_FALSE(isOpen(kept));
    EXPECT_EQ(again.close(), 0);
}

TEST(WriteAll, SurvivesShortWritesAndInterruptions) {
    const InterruptingSignal signal;
    Pipe pipe;
    ::fcntl(pipe.write.get(), F_SETPIPE_SZ, 4096);
    const std::string sent = pattern(std::size_t{1} << 20);
    std::atomic<int> result{-1};
    std::thread writer([&] {
        result = writeAll(pipe.write.get(), sent);
        pipe.write.reset();
    });
    // Each read lets the blocked writer move on; each signal cuts its next write short.
    std::string received;
    std::array<char, 1000> buffer{};
    for (;;) {
        const ssize_t got = ::read(pipe.read.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        ASSERT_GE(got, 0);
        if (got == 0) {
            break;
        }
        received.append(buffer.data(), static_cast<std::size_t>(got));
        ::pthread_kill(writer.native_handle(), SIGUSR1);
    }
    writer.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(received == sent);
}

TEST(WriteAll, ReportsTheFailingWrite) {
    EXPECT_EQ(writeAll(-1, "x"), EBADF);
    EXPECT_EQ(writeAll(-1, ""), 0);
}

TEST(ReadAll, AppendsEverythingToTheEnd) {
    TempDir dir;
    const std::string content = pattern(200 * 1024);
    const UniqueFd file(::open(dir.write("big", content).c_str(), O_RDONLY | O_CLOEXEC));
    std::string out = "kept:";
    EXPECT_EQ(readAll(file.get(), out), 0);
    EXPECT_TRUE(out == "kept:" + content);

    const UniqueFd folder(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    EXPECT_EQ(readAll(folder.get(), out), EISDIR);
}

TEST(ErrnoText, SystemTextsAndUnknownNumbers) {
    EXPECT_EQ(errnoText(ENOENT), "No such file or directory");
    EXPECT_EQ(errnoText(99999), "Unknown error 99999");
}

TEST(IsExecutableFile, OnlyRunnableRegularFiles) {
    TempDir dir;
    const fs::path program = dir.write("program", "#!/bin/sh\n");
    fs::permissions(program, fs::perms::owner_all);
    const fs::path plain = dir.write("plain", "text");
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
    const fs::path folder = dir.mkdir("folder");
    fs::create_symlink(program, dir.path() / "to-program");
    fs::create_symlink(dir.path() / "missing", dir.path() / "dangling");

    EXPECT_TRUE(isExecutableFile(program));
    EXPECT_TRUE(isExecutableFile(dir.path() / "to-program"));
    EXPECT_FALSE(isExecutableFile(plain));
    EXPECT_FALSE(isExecutableFile(folder));
    EXPECT_FALSE(isExecutableFile(dir.path() / "dangling"));
    EXPECT_FALSE(isExecutableFile(dir.path() / "missing"));
}

}  // namespace
}  // namespace tf

// A gate a test holds a child program at without fixed sleeps: the program blocks reading a
// fifo until the test writes to it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace tf::test {

inline bool makeGate(const std::filesystem::path& fifo) {
    return ::mkfifo(fifo.c_str(), 0600) == 0;
}

// Writes `text` once a program has opened the fifo for reading; false when none did in time.
inline bool openGate(const std::filesystem::path& fifo, const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            const bool written =
                ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            ::close(fd);
            return written;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // no reader yet
    }
    return false;
}

}  // namespace tf::test

// Helpers for tests that start real programs: a stand-in program that writes down how it was
// started, and scoped environment variables.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tf::test {

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Writes an executable shell script at `file` that, each time it runs, writes a record file
// "rec-<name>.<pid>" beside itself: "cwd=<folder>", one "arg=<argument>" line per argument,
// then "end". Only shell built-ins, so it runs whatever PATH holds.
inline std::filesystem::path writeRecorder(const std::filesystem::path& file) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "#!/bin/sh\n"
                           "out=\"${0%/*}/rec-${0##*/}.$$\"\n"
                           "{\n"
                           "  printf 'cwd=%s\\n' \"$(pwd -P)\"\n"
                           "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
                           "  printf 'end\\n'\n"
                           "} > \"$out\"\n";
    ::chmod(file.c_str(), 0755);
    return file;
}

// The finished records in the folder, sorted; waits (up to ten seconds) until at least
// `count` are there.
inline std::vector<std::string> waitForRecords(const std::filesystem::path& folder,
                                               std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<std::string> records;
    while (true) {
        records.clear();
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            if (entry.path().filename().string().rfind("rec-", 0) != 0) {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            const std::string content = text.str();
            if (content.size() >= 4 && content.compare(content.size() - 4, 4, "end\n") == 0) {
                records.push_back(content);
            }
        }
        if (records.size() >= count || std::chrono::steady_clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::sort(records.begin(), records.end());
    return records;
}

// Whether anything named `name` exists below the folder.
inline bool existsBelow(const std::filesystem::path& folder, const std::string& name) {
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().filename() == name) {
            return true;
        }
    }
    return false;
}

}  // namespace tf::test

// Test fixtures: temporary folders and a private TRACKFOLIO_HOME per test, so nothing a
// test does reaches the real home folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "model/value.h"

namespace tf {
// Readable values in test failure messages.
void PrintTo(const Value& value, std::ostream* out);
}  // namespace tf

namespace tf::test {

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes a file (parents created) and returns its path.
    std::filesystem::path write(const std::filesystem::path& relative,
                                std::string_view content = {}) const;
    // Creates a folder (parents created) and returns its path.
    std::filesystem::path mkdir(const std::filesystem::path& relative) const;

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);

// What a command line printed and returned.
struct CliResult {
    int status;
    std::string out;
    std::string err;
};

// Runs one of the programs' command-line entry points in-process.
using CliEntry = int (*)(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err);
CliResult runCli(CliEntry entry, const std::vector<std::string>& args);

// Base for tests that use the store: HOME, the XDG folders and TRACKFOLIO_HOME point into a
// fresh temporary folder, and the process-wide catalogue manager is re-pointed at it.
class SandboxTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& home() const { return home_.path(); }
    TempDir& files() { return files_; }

  private:
    TempDir home_;
    TempDir files_;
};

}  // namespace tf::test

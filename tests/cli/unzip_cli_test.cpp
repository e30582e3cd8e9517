// `trackfolio-sync unzip` as scripts use it: the password only from a file, one line and
// exit 2 for bad input, a wrong password named as such.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/sync_cli.h"
#include "support/sandbox.h"
#include "zip/archive_maker.h"

namespace tf {
namespace {

using test::CliResult;

class UnzipCliTest : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        test::writeArchive(archive, {{"docs/a.txt", "alpha"}}, test::Crypt::kAes, "open sesame");
        files().write("right", "open sesame\n");
        files().write("wrong", "closed");
    }
    CliResult run(std::vector<std::string> args) {
        args.insert(args.begin(), "unzip");
        return test::runCli(&runSyncCommand, args);
    }
    std::string path(const std::string& name) { return (files().path() / name).string(); }

    std::string archive = path("a.zip");
};

TEST_F(UnzipCliTest, UnpacksWithThePasswordFromAFile) {
    const CliResult r = run({"--password-file", path("right"), archive, path("out")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::readFile(files().path() / "out/docs/a.txt"), "alpha");
    EXPECT_EQ(run({"--check", "--password-file", path("right"), archive}).out,
              "password accepted\n");
}

TEST_F(UnzipCliTest, Failures) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{}, 2, "wrong number of arguments; see trackfolio-sync unzip --help"},
        {{archive}, 2, "wrong number of arguments; see trackfolio-sync unzip --help"},
        {{"--password", "open sesame", archive, path("out")},
         2,
         "unknown option --password; see trackfolio-sync unzip --help"},
        {{"--password-file", path("none"), archive, path("out")},
         2,
         "cannot read the password file " + path("none") + ": No such file or directory"},
        {{"--password-file", path("wrong"), archive, path("out")},
         1,
         "wrong password for " + archive},
        {{archive, path("out")}, 1, "a password is needed for " + archive},
        {{"--check", "--password-file", path("wrong"), archive},
         1,
         "wrong password for " + archive},
        {{path("right"), path("out")}, 1, path("right") + ": failed to open zip file"},
    };
    for (const Case& c : cases) {
        const CliResult r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err, "trackfolio-sync: " + c.err + "\n");
        EXPECT_FALSE(std::filesystem::exists(files().path() / "out"));
    }
}

}  // namespace
}  // namespace tf

// Unzip and the password check on archives from three sources: libarchive's own writer (for
// exact times, permissions and both kinds of encryption), hostile archives built with
// Python's zipfile, and archives other zip programs write.
#include "zip/zip_reader.h"
#include "zip/zip_entry_names.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/sandbox.h"
#include "zip/archive_maker.h"

namespace tf::zip {
namespace {

namespace fs = std::filesystem;
using test::Crypt;
using test::Item;
using test::readFile;
using test::TempDir;
using test::writeArchive;

// Runs a program in a folder; its exit status, or 127 when it cannot be started.
int runTool(const std::vector<std::string>& argv, const fs::path& cwd) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (chdir(cwd.c_str()) != 0) {
            _exit(126);
        }
        std::vector<char*> args;
        for (const auto& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const std::string& name) {
    return runTool({"sh", "-c", "command -v \"$0\"", name}, "/") == 0;
}

// Builds archives with Python's zipfile, all in one run. Each snippet sees `z` (its open
// archive, also sys.argv[1] for a single one) and `link(name, target)`, which stores a Unix
// symbolic link.
void pythonArchives(const std::vector<std::pair<fs::path, std::string>>& archives) {
    std::string program =
        "import sys, zipfile\n"
        "def link(name, target):\n"
        "    i = zipfile.ZipInfo(name)\n"
        "    i.create_system = 3\n"
        "    i.external_attr = 0o120777 << 16\n"
        "    z.writestr(i, target)\n";
    std::vector<std::string> argv = {"python3", "-c", ""};
    for (const auto& [out, snippet] : archives) {
        argv.push_back(out.string());
        program += "z = zipfile.ZipFile(sys.argv[" + std::to_string(argv.size() - 3) +
                   "], 'w', zipfile.ZIP_DEFLATED)\n" + snippet + "\nz.close()\n";
    }
    argv[2] = program;
    ASSERT_EQ(runTool(argv, archives.front().first.parent_path()), 0) << program;
}

void pythonArchive(const fs::path& out, const std::string& snippet) {
    pythonArchives({{out, snippet}});
}

// Everything below a folder: "name", "name/" for folders, "name -> target" for links.
std::vector<std::string> tree(const fs::path& root) {
    std::vector<std::string> found;
    if (!fs::exists(root)) {
        return found;
    }
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = entry.path().lexically_relative(root).string();
        if (entry.is_symlink()) {
            name += " -> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            name += "/";
        }
        found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

struct stat statOf(const fs::path& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

using Names = std::vector<std::string>;

class UnzipTest : public ::testing::Test {
  protected:
    TempDir dir;
    fs::path archive = dir.path() / "a.zip";
    fs::path dest = dir.path() / "out";
};

// ---- what a good archive gives ----------------------------------------------------------------

TEST_F(UnzipTest, KeepsContentsPermissionsAndTimes) {
    writeArchive(archive, {{"A/x.txt", "hello", AE_IFREG, 0640, 1'500'000'000},
                           {"A/run.sh", "#!/bin/sh\n", AE_IFREG, 04755, 1'500'000'100},
                           {"A/e/", "", AE_IFDIR, 0750, 1'400'000'000},
                           {"A/l", "", AE_IFLNK, 0777, 1'500'000'000, "x.txt"},
                           {"top name ü.txt", std::string(100'000, 'z')}});
    std::vector<std::string> progress;
    UnzipOptions options;
    options.progress = [&](const std::string& name, const ZipEntryInfo&, std::int64_t index,
                           std::int64_t count) {
        progress.push_back(name + " " + std::to_string(index) + "/" + std::to_string(count));
    };
    const UnzipResult result = unzipArchive(archive, dest, options);
    ASSERT_TRUE(result.ok) << result.error->message;
    EXPECT_EQ(tree(dest),
              (Names{"A/", "A/e/", "A/l -> x.txt", "A/run.sh", "A/x.txt", "top name ü.txt"}));
    EXPECT_EQ(readFile(dest / "A/x.txt"), "hello");
    EXPECT_EQ(readFile(dest / "top name ü.txt"), std::string(100'000, 'z'));
    EXPECT_EQ(statOf(dest / "A/x.txt").st_mode & 07777, 0640u);
    // Set-id bits never come out of an archive.
    EXPECT_EQ(statOf(dest / "A/run.sh").st_mode & 07777, 0755u);
    EXPECT_EQ(statOf(dest / "A/run.sh").st_mtime, 1'500'000'100);
    EXPECT_EQ(statOf(dest / "A/e").st_mode & 0777, 0750u);
    EXPECT_EQ(statOf(dest / "A/e").st_mtime, 1'400'000'000);
    EXPECT_EQ(progress,
              (Names{"A/x.txt 0/5", "A/run.sh 1/5", "A/e/ 2/5", "A/l 3/5", "top name ü.txt 4/5"}));
}

TEST_F(UnzipTest, OwnerAlwaysMayReadAndWrite) {
    writeArchive(archive, {{"ro.txt", "r", AE_IFREG, 0444}, {"none", "n", AE_IFREG, 0}});
    ASSERT_TRUE(unzipArchive(archive, dest).ok);
    EXPECT_EQ(statOf(dest / "ro.txt").st_mode & 0777, 0644u);
    EXPECT_EQ(statOf(dest / "none").st_mode & 0777, 0600u);
}

TEST_F(UnzipTest, OverwriteDecidesAboutExistingFiles) {
    writeArchive(archive, {{"f.txt", "new"}, {"g.txt", "added"}});
    fs::create_directories(dest);
    std::ofstream(dest / "f.txt") << "old";
    ASSERT_TRUE(unzipArchive(archive, dest).ok);
    EXPECT_EQ(readFile(dest / "f.txt"), "old");
    EXPECT_EQ(readFile(dest / "g.txt"), "added");
    UnzipOptions overwrite;
    overwrite.overwrite = true;
    ASSERT_TRUE(unzipArchive(archive, dest, overwrite).ok);
    EXPECT_EQ(readFile(dest / "f.txt"), "new");
    // No temporary is left beside the files.
    EXPECT_EQ(tree(dest), (Names{"f.txt", "g.txt"}));
}

TEST_F(UnzipTest, OddNamesAndSkippedEntries) {
    pythonArchive(archive,
                  "z.writestr('__MACOSX/._a', 'junk')\n"
                  "z.writestr('./dot//twice.txt', 'd')\n"
                  "z.writestr('win\\\\path.txt', 'w')\n"
                  "z.writestr('cp437-Xber.txt', 'c')\n"
                  "i = zipfile.ZipInfo('fifo'); i.create_system = 3\n"
                  "i.external_attr = 0o010644 << 16; z.writestr(i, '')\n"
                  "z.close()\n"
                  // A name in code page 437, without the UTF-8 flag.
                  "b = open(sys.argv[1], 'rb').read().replace(b'cp437-X', b'cp437-\\x81')\n"
                  "open(sys.argv[1], 'wb').write(b)\n"
                  "z = zipfile.ZipFile(sys.argv[1] + '.unused', 'w')\n");
    const UnzipResult result = unzipArchive(archive, dest);
    ASSERT_TRUE(result.ok) << result.error->message;
    // A pipe's entry becomes a plain file: no special file is ever made.
    EXPECT_EQ(tree(dest), (Names{"cp437-\u00fcber.txt", "dot/", "dot/twice.txt", "fifo", "win/",
                                 "win/path.txt"}));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dest / "fifo")));
}

TEST(EntryNames, DecodeUtf8OrCodePage437) {
    EXPECT_EQ(decodeEntryName("plain.txt"), "plain.txt");
    EXPECT_EQ(decodeEntryName("\xc3\xbc.txt"), "\u00fc.txt");
    EXPECT_EQ(decodeEntryName("\x81\xe1\xff"), "\u00fc\u00df\u00a0");
    // Cut or overlong UTF-8 is not UTF-8.
    EXPECT_EQ(decodeEntryName("a\xc3"), "a\u251c");
    EXPECT_EQ(decodeEntryName("\xc0\xaf"), "\u2514\u00bb");
}

TEST_F(UnzipTest, EmptyMissingAndForeignArchives) {
    pythonArchive(archive, "");
    EXPECT_TRUE(unzipArchive(archive, dest).ok);
    EXPECT_TRUE(isPasswordValidForArchive(archive, "any"));

    const auto code = [&](const fs::path& path, const std::string& to) {
        const UnzipResult result = unzipArchive(path, to);
        EXPECT_FALSE(result.ok);
        return result.error ? result.error->code : 0;
    };
    EXPECT_EQ(code(dir.path() / "missing.zip", dest), kFailedOpenZip);
    EXPECT_EQ(code(dir.write("text.zip", "not a zip at all"), dest), kFailedOpenZip);
    EXPECT_EQ(code(archive, ""), kInvalidArguments);
    EXPECT_EQ(code("", dest), kInvalidArguments);
    ZipError error;
    EXPECT_FALSE(isPasswordValidForArchive(dir.path() / "missing.zip", "x", &error));
    EXPECT_EQ(error.code, kFailedOpenZip);
}

TEST_F(UnzipTest, FacadeReportsThroughItsCompletion) {
    writeArchive(archive, {{"a.txt", "a"}});
    std::vector<std::string> calls;
    const auto completion = [&](const std::string& path, bool ok, const ZipError* error) {
        calls.push_back((path.empty() ? "-" : fs::path(path).filename().string()) + " " +
                        (ok ? "ok" : "failed") + " " + (error ? std::to_string(error->code) : "-"));
    };
    ZipError error;
    EXPECT_TRUE(
        SSZipArchive::unzipFileAtPath(archive, dest, false, std::nullopt, {}, completion, &error));
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(dir.path() / "none.zip", dest, false, "pw", {},
                                               completion, &error));
    EXPECT_EQ(error.domain, kZipErrorDomain);
    EXPECT_EQ(calls, (Names{"a.zip ok -", "- failed -1"}));
}

// ---- passwords --------------------------------------------------------------------------------

class PasswordTest : public UnzipTest, public ::testing::WithParamInterface<Crypt> {};

TEST_P(PasswordTest, RightWrongAndMissing) {
    writeArchive(archive,
                 {{"empty/", "", AE_IFDIR}, {"plain-first.txt", ""}, {"data.bin", "payload"}},
                 GetParam(), "pass word");
    ZipError error;
    EXPECT_TRUE(isPasswordValidForArchive(archive, "pass word", &error));
    // Many wrong ones: some pass the short verifier, the whole file still tells.
    for (int i = 0; i < 300; ++i) {
        EXPECT_FALSE(isPasswordValidForArchive(archive, "wrong" + std::to_string(i), &error)) << i;
        EXPECT_EQ(error.code, 0) << error.message;
    }
    EXPECT_FALSE(isPasswordValidForArchive(archive, "", &error));

    UnzipOptions options;
    options.password = "nope";
    const UnzipResult wrong = unzipArchive(archive, dest, options);
    ASSERT_FALSE(wrong.ok);
    EXPECT_TRUE(wrong.wrongPassword);
    // Nothing left: no zero-filled file, not even the entries before the encrypted one.
    EXPECT_EQ(tree(dest), Names{});

    options.password = "pass word";
    ASSERT_TRUE(unzipArchive(archive, dest, options).ok);
    EXPECT_EQ(readFile(dest / "data.bin"), "payload");
}

INSTANTIATE_TEST_SUITE_P(Encryptions, PasswordTest,
                         ::testing::Values(Crypt::kAes, Crypt::kZipCrypto), [](const auto& param) {
                             return std::string(param.param == Crypt::kAes ? "Aes" : "ZipCrypto");
                         });

TEST_F(UnzipTest, WrongPasswordThatPassesTheVerifierStillFails) {
    // The older encryption checks one byte: about one wrong password in 256 gets past it.
    writeArchive(archive, {{"data.bin", std::string(5000, 'd')}}, Crypt::kZipCrypto, "right");
    int passedVerifier = 0;
    for (int i = 0; i < 4000 && passedVerifier == 0; ++i) {
        UnzipOptions options;
        options.password = "w" + std::to_string(i);
        const UnzipResult result = unzipArchive(archive, dest, options);
        ASSERT_FALSE(result.ok) << *options.password;
        EXPECT_TRUE(result.wrongPassword);
        EXPECT_FALSE(isPasswordValidForArchive(archive, *options.password));
        EXPECT_EQ(tree(dest), Names{});
        passedVerifier += result.error->code == kFailedToReadInfo ? 1 : 0;
    }
    EXPECT_EQ(passedVerifier, 1);
}

TEST_F(UnzipTest, UnencryptedArchiveAcceptsAnyPassword) {
    writeArchive(archive, {{"a.txt", "a"}});
    EXPECT_TRUE(isPasswordValidForArchive(archive, "whatever"));
    EXPECT_TRUE(isPasswordValidForArchive(archive, ""));
}

TEST_F(UnzipTest, DamagedDataIsNeitherAcceptedNorLeftBehind) {
    writeArchive(archive, {{"good.txt", "fine"}, {"bad.txt", std::string(4000, 'q') + "tail"}});
    std::string bytes = readFile(archive);
    // Flip a byte inside the second entry's compressed data.
    const auto at = bytes.find("bad.txt") + 7 + 40;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
    const auto damaged = dir.write("damaged.zip", bytes);
    const UnzipResult result = unzipArchive(damaged, dest);
    ASSERT_FALSE(result.ok);
    EXPECT_FALSE(result.wrongPassword);
    EXPECT_EQ(tree(dest), Names{});
    EXPECT_FALSE(fs::exists(dest));
}

// ---- hostile archives -------------------------------------------------------------------------

TEST_F(UnzipTest, HostileArchivesAreRefusedWithNothingWritten) {
    struct Hostile {
        std::string what;
        std::string snippet;
    };
    const std::vector<Hostile> cases = {
        {"dotdot", "z.writestr('../evil', 'x')"},
        {"dotdot-inside", "z.writestr('ok/../../evil', 'x')"},
        {"backslashes", "z.writestr('..\\\\evil', 'x')"},
        {"absolute", "z.writestr(zipfile.ZipInfo('/tmp/evil'), 'x')"},
        {"drive", "z.writestr('C:/evil', 'x')"},
        {"link-up", "link('l', '../outside')"},
        {"link-deep-up", "link('a/b/l', '../../../x')"},
        {"link-absolute", "link('l', '/etc')"},
        {"through-link", "link('l', 'sub')\nz.writestr('l/x', 'x')"},
        {"through-link-made-later", "z.writestr('l/x', 'x')\nlink('l', '.')"},
    };
    const fs::path made = dir.mkdir("hostile");
    std::vector<std::pair<fs::path, std::string>> archives;
    for (const Hostile& c : cases) {
        archives.emplace_back(made / (c.what + ".zip"),
                              "z.writestr('first.txt', 'ok')\n" + c.snippet);
    }
    pythonArchives(archives);
    fs::create_directories(dest);
    for (const auto& [path, snippet] : archives) {
        SCOPED_TRACE(snippet);
        const UnzipResult result = unzipArchive(path, dest);
        ASSERT_FALSE(result.ok);
        EXPECT_EQ(result.error->code, kUnsafeEntry) << result.error->message;
        EXPECT_EQ(tree(dest), Names{});
        EXPECT_TRUE(isPasswordValidForArchive(path, "any"));
    }
    EXPECT_EQ(tree(dir.path()).size(), cases.size() + 2);  // hostile/, its archives, out/
}

TEST_F(UnzipTest, LinksInsideTheDestinationAreKept) {
    pythonArchive(archive, "z.writestr('d/f', 'x')\nlink('d/up', '../d/f')\nlink('here', '.')");
    ASSERT_TRUE(unzipArchive(archive, dest).ok);
    EXPECT_EQ(tree(dest), (Names{"d/", "d/f", "d/up -> ../d/f", "here -> ."}));
}

TEST_F(UnzipTest, ExistingLinkInTheDestinationIsNotFollowed) {
    const auto outside = dir.mkdir("outside");
    fs::create_directories(dest);
    fs::create_directory_symlink(outside, dest / "evil");
    pythonArchive(archive, "z.writestr('new.txt', 'n')\nz.writestr('evil/x', 'x')");
    const UnzipResult result = unzipArchive(archive, dest);
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error->code, kUnsafeEntry);
    EXPECT_EQ(tree(outside), Names{});
    // What the run wrote is gone; what was there stays.
    EXPECT_EQ(tree(dest), (Names{"evil -> " + outside.string()}));
}

TEST_F(UnzipTest, ExpansionPastTheBoundStopsAndCleansUp) {
    UnzipOptions options;
    options.limits.maxTotalBytes = 1 << 20;
    fs::create_directories(dest);
    std::ofstream(dest / "mine.txt") << "keep";

    // Declared sizes over the bound: refused before anything is written.
    pythonArchive(archive, "z.writestr('a', 'ok')\nz.writestr('big', b'\\0' * (2 << 20))");
    UnzipResult result = unzipArchive(archive, dest, options);
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error->code, kTooLarge);
    EXPECT_EQ(tree(dest), Names{"mine.txt"});

    // Sizes that lie: the bytes written are counted as they come.
    pythonArchive(archive,
                  "z.writestr('a/ok', 'ok')\nz.writestr('a/bomb', b'\\0' * (8 << 20))\n"
                  "z.close()\n"
                  "import struct\n"
                  "b = bytearray(open(sys.argv[1], 'rb').read())\n"
                  "for sig, off in ((b'PK\\x03\\x04', 22), (b'PK\\x01\\x02', 24)):\n"
                  "    i = b.find(sig)\n"
                  "    while i >= 0:\n"
                  "        struct.pack_into('<I', b, i + off, 1)\n"
                  "        i = b.find(sig, i + 4)\n"
                  "open(sys.argv[1], 'wb').write(b)\n"
                  "z = zipfile.ZipFile(sys.argv[1] + '.unused', 'w')");
    result = unzipArchive(archive, dest, options);
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(tree(dest), Names{"mine.txt"});

    options.limits = {};
    options.limits.maxEntries = 3;
    pythonArchive(archive, "for i in range(4): z.writestr(str(i), '')");
    result = unzipArchive(archive, dest, options);
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error->code, kTooLarge);
}

// ---- archives other programs write -------------------------------------------------------------

class InteropTest : public UnzipTest {
  protected:
    void SetUp() override {
        dir.write("src/dir one/file ü.txt", "contents\n");
        dir.write("src/b.bin", std::string(70'000, 'b'));
    }
    void expectExtracted(const std::string& password) {
        UnzipOptions options;
        options.password = password;
        const UnzipResult result = unzipArchive(archive, dest, options);
        ASSERT_TRUE(result.ok) << result.error->message;
        EXPECT_EQ(readFile(dest / "dir one/file ü.txt"), "contents\n");
        EXPECT_EQ(readFile(dest / "b.bin"), std::string(70'000, 'b'));
    }
};

TEST_F(InteropTest, SevenZipAes) {
    if (!haveTool("7zz")) {
        GTEST_SKIP() << "7zz (package 7zip) is not installed";
    }
    ASSERT_EQ(runTool({"7zz", "a", "-tzip", "-mem=AES256", "-pS3cret!", archive.string(), "."},
                      dir.path() / "src"),
              0);
    EXPECT_TRUE(isPasswordValidForArchive(archive, "S3cret!"));
    EXPECT_FALSE(isPasswordValidForArchive(archive, "S3cret"));
    expectExtracted("S3cret!");
}

TEST_F(InteropTest, ZipCryptoFromZip) {
    if (!haveTool("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    ASSERT_EQ(runTool({"zip", "-q", "-r", "-P", "pw 1", archive.string(), "."}, dir.path() / "src"),
              0);
    EXPECT_TRUE(isPasswordValidForArchive(archive, "pw 1"));
    EXPECT_FALSE(isPasswordValidForArchive(archive, "pw 2"));
    expectExtracted("pw 1");
}

TEST_F(InteropTest, PythonPlain) {
    pythonArchive(archive,
                  "z.writestr('dir one/file \\u00fc.txt', 'contents\\n')\n"
                  "z.writestr('b.bin', 'b' * 70000)");
    EXPECT_TRUE(isPasswordValidForArchive(archive, "anything"));
    expectExtracted("");
}

}  // namespace
}  // namespace tf::zip

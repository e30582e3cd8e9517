// Golden files: the stored default catalogue and the default menus for a file and a folder
// background must not change by accident (the plugins and stored settings rely on both).
// After an intended change, regenerate with TRACKFOLIO_UPDATE_GOLDEN=1 and review the diff.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/sync_cli.h"
#include "model/default_data.h"
#include "model/store_paths.h"
#include "support/sandbox.h"

namespace tf::test {
namespace {

const std::filesystem::path kGolden = std::filesystem::path(TRACKFOLIO_TEST_ASSETS) / "golden";

// Built-in scripts get fresh random keys on every set-up, and our own icons are found in the
// data folder of the tree under test.
std::string withoutLocalParts(const std::string& text) {
    // 8-4-4-4-12 upper-case hexadecimal digits (std::regex trips the sanitizer build's warnings).
    constexpr std::string_view kShape = "########-####-####-####-############";
    std::string result;
    for (std::size_t at = 0; at < text.size();) {
        const bool isKey =
            text.size() - at >= kShape.size() &&
            std::equal(kShape.begin(), kShape.end(), text.begin() + static_cast<long>(at),
                       [](char shape, char c) {
                           return shape == '-' ? c == '-'
                                               : ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
                       });
        if (isKey) {
            result += "<uuid>";
            at += kShape.size();
        } else {
            result += text[at++];
        }
    }
    if (const char* data = std::getenv("TRACKFOLIO_DATA_DIR"); data != nullptr && *data != '\0') {
        const std::string prefix = std::string("\"") + data + "/";
        for (std::size_t at = result.find(prefix); at != std::string::npos;
             at = result.find(prefix, at)) {
            result.replace(at, prefix.size(), "\"<data>/");
        }
    }
    return result;
}

void expectGolden(const std::string& text, const std::string& name) {
    const std::filesystem::path path = kGolden / name;
    const std::string actual = withoutLocalParts(text);
    if (std::getenv("TRACKFOLIO_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    const std::string expected = readFile(path);
    if (actual == expected) {
        return;
    }
    // Name the first differing line rather than printing two whole files.
    std::istringstream a(actual);
    std::istringstream e(expected);
    std::string lineA;
    std::string lineE;
    for (int number = 1;; ++number) {
        const bool moreA = static_cast<bool>(std::getline(a, lineA));
        const bool moreE = static_cast<bool>(std::getline(e, lineE));
        if (!moreA && !moreE) {
            break;
        }
        if (moreA != moreE || lineA != lineE) {
            ADD_FAILURE() << path.filename() << " line " << number << ": expected \"" << lineE
                          << "\", got \"" << lineA << "\" (TRACKFOLIO_UPDATE_GOLDEN=1 rewrites it)";
            return;
        }
    }
    ADD_FAILURE() << path.filename() << " differs";
}

class Golden : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        // Which applications count as installed must not depend on this machine: here one
        // of the default "Open With" list is, so the menus show it and leave the rest out.
        ::setenv("XDG_DATA_DIRS", files().mkdir("system-data").c_str(), 1);
        ::setenv("XDG_DATA_HOME", files().mkdir("user-data").c_str(), 1);
        files().write("system-data/applications/code.desktop",
                      "[Desktop Entry]\nType=Application\nName=Visual Studio Code\n"
                      "Exec=code %F\n");
        ASSERT_TRUE(RCDefaultData::setup().ok);
    }
    void TearDown() override {
        ::unsetenv("XDG_DATA_DIRS");
        ::unsetenv("XDG_DATA_HOME");
        SandboxTest::TearDown();
    }
};

TEST_F(Golden, DefaultCatalogueAndMenus) {
    expectGolden(readFile(StorePaths::fromEnvironment().sharedSettingsFile()),
                 "settings-default.plist");

    const std::filesystem::path file = files().write("Report.txt", "hi\n");
    CliResult r = runCli(&runSyncCommand, {"menu", "--json", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    expectGolden(r.out, "menu-default-file.json");

    r = runCli(&runSyncCommand, {"menu", "--json", "--target", files().path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    expectGolden(r.out, "menu-default-background.json");
}

}  // namespace
}  // namespace tf::test

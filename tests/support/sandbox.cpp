#include "support/sandbox.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "fs/file_access.h"
#include "model/json_value.h"
#include "model/menu_manager.h"
#include "model/product.h"
#include "model/url_cache.h"

namespace tf {

void PrintTo(const Value& value, std::ostream* out) {
    *out << dumpJson(toJson(value), -1);
}

}  // namespace tf

namespace tf::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/trackfolio-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::write(const std::filesystem::path& relative,
                                     std::string_view content) const {
    const auto file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return file;
}

std::filesystem::path TempDir::mkdir(const std::filesystem::path& relative) const {
    const auto folder = path_ / relative;
    std::filesystem::create_directories(folder);
    return folder;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

CliResult runCli(CliEntry entry, const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = entry(args, out, err);
    return {status, out.str(), err.str()};
}

void SandboxTest::SetUp() {
    const std::string root = home_.path().string();
    ::setenv("HOME", root.c_str(), 1);
    ::setenv("TRACKFOLIO_HOME", root.c_str(), 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        ::unsetenv(name);
    }
    setRunningDeliverable(Deliverable::Extension);
    RCMenuManager::sharedInstance().reloadFromEnvironment();
    RCURLCache::sharedInstance().reload();
}

void SandboxTest::TearDown() {
    setWritableCheck(nullptr);
    setFolderLister(nullptr);
    setReadableCheck(nullptr);
    RCMenuManager::sharedInstance().setApplicationLauncher(nullptr);
}

}  // namespace tf::test

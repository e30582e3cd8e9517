// `trackfolio-sync zip`: packs paths into one archive from scripts and tests. The password
// comes from a file, never from the command line, where other users could read it.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/command_cli.h"
#include "util/text.h"
#include "zip/ss_zip_archive.h"

namespace tf {

namespace {

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;
constexpr const char* kZipUsage =
    "usage: trackfolio-sync zip [--password-file FILE] [--skip-junk] -o OUT PATH...";

int bad(std::ostream& err, const std::string& message) {
    err << "trackfolio-sync: " << oneLine(message, 400) << "\n";
    return kBadUsage;
}

// An absolute path without "." or ".." parts or a trailing slash: the entry names come
// from the last component.
std::string absolutePath(const std::string& path) {
    std::string full = std::filesystem::absolute(path).lexically_normal().string();
    while (full.size() > 1 && full.back() == '/') {
        full.pop_back();
    }
    return full;
}

}  // namespace

int runZipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::optional<std::string> passwordFile;
    std::string output;
    bool skipJunk = false;
    std::vector<std::string> paths;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (optionsEnd || arg.empty() || arg[0] != '-') {
            paths.push_back(arg);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--help" || arg == "-h") {
            out << kZipUsage << "\n";
            return 0;
        } else if (arg == "--skip-junk") {
            skipJunk = true;
        } else if (arg == "--password-file" && hasValue) {
            passwordFile = args[++i];
        } else if ((arg == "-o" || arg == "--output") && hasValue) {
            output = args[++i];
        } else {
            return bad(err, std::string(kZipUsage));
        }
    }
    if (output.empty() || paths.empty()) {
        return bad(err, std::string(kZipUsage));
    }
    std::optional<std::string> password;
    if (passwordFile) {
        std::ifstream in(*passwordFile, std::ios::binary);
        if (!in) {
            return bad(err, "cannot read the password file " + *passwordFile);
        }
        std::stringstream text;
        text << in.rdbuf();
        std::string typed = text.str();
        // One trailing line break is the file's, not the password's.
        if (!typed.empty() && typed.back() == '\n') {
            typed.pop_back();
            if (!typed.empty() && typed.back() == '\r') {
                typed.pop_back();
            }
        }
        if (isUsableZipPassword(typed)) {
            password = typed;
        }
    }
    std::error_code ec;
    for (std::string& path : paths) {
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
            return bad(err, "no such file or folder: " + path);
        }
        path = absolutePath(path);
    }

    ZipCompressor compressor;
    compressor.savePath = absolutePath(output);
    std::int64_t result = 0;
    compressor.startCompressWithPaths(
        paths, skipJunk ? junkFileNames() : std::vector<std::string>{}, password,
        [&](std::int64_t, std::int64_t total) { result = total; });
    if (result == kZipFailed) {
        err << "trackfolio-sync: compression failed"
            << (compressor.failedItem().empty()
                    ? std::string(": cannot write ") + oneLine(compressor.savePath, 300)
                    : ": cannot add " + oneLine(compressor.failedItem(), 300))
            << "\n";
        return kFailed;
    }
    return 0;
}

}  // namespace tf

// `trackfolio-sync unzip`: unpacks an archive, or only checks its password, from the command
// line. The password comes from a file, never from the arguments, where any other user could
// read it in the process list.
#include <fcntl.h>

#include <string_view>

#include "cli/command_cli.h"
#include "util/posix.h"
#include "util/text.h"
#include "zip/zip_reader.h"

namespace tf {

namespace {

constexpr int kFailed = 1;
constexpr int kBadInput = 2;
constexpr std::string_view kUnzipUsage =
    "usage: trackfolio-sync unzip [--password-file FILE] [--overwrite] ARCHIVE DEST\n"
    "       trackfolio-sync unzip --check [--password-file FILE] ARCHIVE";

int refuse(std::ostream& err, std::string_view message) {
    err << "trackfolio-sync: " << oneLine(message, 400) << "\n";
    return kBadInput;
}

int failed(std::ostream& err, std::string_view message) {
    err << "trackfolio-sync: " << oneLine(message, 400) << "\n";
    return kFailed;
}

// The file's contents without one line break at the end (what an editor or echo leaves).
bool readPassword(const std::string& path, std::string& password, std::string& why) {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const int error = fd.valid() ? readAll(fd.get(), password) : errno;
    if (error != 0) {
        why = errnoText(error);
        return false;
    }
    if (password.ends_with('\n')) {
        password.pop_back();
        if (password.ends_with('\r')) {
            password.pop_back();
        }
    }
    return true;
}

}  // namespace

int runUnzipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::optional<std::string> passwordFile;
    bool check = false;
    bool overwrite = false;
    std::vector<std::string> operands;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-") {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--help" || arg == "-h") {
            out << kUnzipUsage << "\n";
            return 0;
        } else if (arg == "--check") {
            check = true;
        } else if (arg == "--overwrite") {
            overwrite = true;
        } else if (arg == "--password-file" && i + 1 < args.size() && !passwordFile) {
            passwordFile = args[++i];
        } else {
            return refuse(err, "unknown option " + arg + "; see trackfolio-sync unzip --help");
        }
    }
    if (operands.size() != (check ? 1u : 2u)) {
        return refuse(err, "wrong number of arguments; see trackfolio-sync unzip --help");
    }
    std::string password;
    if (passwordFile) {
        std::string why;
        if (!readPassword(*passwordFile, password, why)) {
            return refuse(err, "cannot read the password file " + *passwordFile + ": " + why);
        }
    }

    const std::string& archive = operands[0];
    if (check) {
        ZipError error;
        if (zip::isPasswordValidForArchive(archive, password, &error)) {
            out << "password accepted\n";
            return 0;
        }
        return failed(err, error.code == 0 ? "wrong password for " + archive
                                           : archive + ": " + error.message);
    }
    zip::UnzipOptions options;
    options.overwrite = overwrite;
    options.password = password;
    const zip::UnzipResult result = zip::unzipArchive(archive, operands[1], options);
    if (result.ok) {
        return 0;
    }
    if (result.error->code == zip::kInvalidArguments) {
        return refuse(err, "cannot unzip " + archive + " into " + operands[1]);
    }
    if (result.wrongPassword && password.empty()) {
        return failed(err, "a password is needed for " + archive);
    }
    if (result.wrongPassword) {
        // A wrong password that passed the short verifier looks like damaged data.
        const bool sure = result.error->code == zip::kFailedOpenFileInZip;
        return failed(
            err, "wrong password for " + archive + (sure ? "" : " (or the archive is damaged)"));
    }
    return failed(err, archive + ": " + result.error->message);
}

}  // namespace tf

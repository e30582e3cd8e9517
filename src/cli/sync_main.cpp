#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/sync_cli.h"
#include "model/product.h"
#include "util/posix.h"

namespace {

// The service and the windowed alert live in a second program, so that the command-line
// commands do not pay for loading Qt (about 25 ms on each start).
constexpr const char* kServiceProgram = "trackfolio-sync-service";

std::optional<std::filesystem::path> serviceProgram() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::nullopt;
    }
    // Beside this program in the build tree; in the private program folder when installed.
    for (const std::filesystem::path& candidate :
         {self.parent_path() / kServiceProgram,
          self.parent_path() / TRACKFOLIO_LIBEXEC_FROM_BIN / kServiceProgram}) {
        if (tf::isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

// Replaces this process (same pid, as D-Bus activation expects) with the service program.
// The scripts the service runs call back into this program, so it tells them where it is.
int runServiceProgram(const std::filesystem::path& program, int argc, char** argv) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        ::setenv("TRACKFOLIO_SYNC", self.c_str(), 1);
    }
    std::vector<std::string> args{program.string()};
    args.insert(args.end(), argv + 1, argv + argc);
    std::vector<char*> pointers;
    for (std::string& arg : args) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    ::execv(pointers[0], pointers.data());
    std::cerr << "trackfolio-sync: cannot start " << kServiceProgram << ": " << tf::errnoText(errno)
              << "\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    tf::setRunningDeliverable(tf::Deliverable::Extension);
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The clipboard's bus client is the service program's too; the other commands stay
    // free of Qt.
    if (!args.empty() && (args[0] == "serve" || args[0] == "pasteboard" ||
                          ((args[0] == "alert" || args[0] == "popup") && hasDisplay()))) {
        if (const std::optional<std::filesystem::path> program = serviceProgram()) {
            return runServiceProgram(*program, argc, argv);
        }
        if (args[0] == "serve") {
            std::cerr << "trackfolio-sync: this build has no menu service\n";
            return 1;
        }
    }
    return tf::runSyncCommand(args, std::cout, std::cerr);
}

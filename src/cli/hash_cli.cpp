// `trackfolio-sync hash`: the digests of the file information entries, from the command
// line. Several digests are computed in one read of the file.
#include <string_view>

#include "cli/command_cli.h"
#include "util/digests.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr int kUnreadable = 1;
constexpr int kBadUsage = 2;
constexpr std::string_view kHashUsage =
    "usage: trackfolio-sync hash [--md5] [--sha1] [--sha256] [--sha512] [--crc32] [--all] FILE";

int usage(std::ostream& err) {
    err << kHashUsage << "\n";
    return kBadUsage;
}

// Sets the digest an option names; false when it names none.
bool choose(std::string_view option, DigestSet& which) {
    if (option == "--md5") {
        which.md5 = true;
    } else if (option == "--sha1") {
        which.sha1 = true;
    } else if (option == "--sha256") {
        which.sha256 = true;
    } else if (option == "--sha512") {
        which.sha512 = true;
    } else if (option == "--crc32") {
        which.crc32 = true;
    } else if (option == "--all") {
        which = DigestSet::all();
    } else {
        return false;
    }
    return true;
}

}  // namespace

int runHashCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    DigestSet which;
    std::vector<std::string> files;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--help" || arg == "-h") {
            out << kHashUsage << "\n";
            return 0;
        } else if (!choose(arg, which)) {
            return usage(err);
        }
    }
    if (files.size() != 1) {
        return usage(err);
    }
    // Without a choice, all of them.
    if (which.empty()) {
        which = DigestSet::all();
    }

    const FileDigests digests = fileDigests(files.front(), which);
    if (!digests.readable()) {
        err << "trackfolio-sync: cannot read " << oneLine(files.front(), 300) << ": "
            << digests.error << "\n";
        return kUnreadable;
    }
    struct Line {
        bool requested;
        const std::optional<std::string>& value;
        std::string_view name;
    };
    const Line lines[] = {
        {which.md5, digests.md5, "MD5"},
        {which.sha1, digests.sha1, "SHA1"},
        {which.sha256, digests.sha256, "SHA256"},
        {which.sha512, digests.sha512, "SHA512"},
    };
    for (const Line& line : lines) {
        if (line.requested && !line.value) {
            err << "trackfolio-sync: the " << line.name << " digest could not be computed\n";
            return kUnreadable;
        }
    }
    for (const Line& line : lines) {
        if (line.value) {
            out << line.name << "  " << *line.value << "\n";
        }
    }
    if (which.crc32) {
        const std::string decimal = crc32DecimalText(digests.crc32);
        out << "CRC32  " << decimal << " " << crc32HexadecimalText(decimal) << "\n";
    }
    return 0;
}

}  // namespace tf

#include "cli/pasteboard_cli.h"

#include <array>
#include <istream>
#include <ostream>
#include <utility>

#include "util/text.h"

namespace tf {

namespace {

constexpr int kNotCopied = 1;
constexpr int kBadUsage = 2;

const char* const kUsage = "usage: trackfolio-sync pasteboard < TEXT\n";

PasteboardSender& installedSender() {
    static PasteboardSender send;
    return send;
}

int fail(std::ostream& err, int status, const std::string& message) {
    err << "trackfolio-sync: " << oneLine(message, 400) << "\n";
    return status;
}

// Reads to the end, or one byte past the limit; false on a read error.
bool readBounded(std::istream& in, std::string& text) {
    std::array<char, 65536> buffer{};
    while (text.size() <= kPasteboardLimit) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        text.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
        if (in.eof()) {
            return true;
        }
        if (!in) {
            return false;
        }
    }
    return true;
}

}  // namespace

void setPasteboardSender(PasteboardSender send) {
    installedSender() = std::move(send);
}

int runPasteboardCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                         std::ostream& err) {
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        out << kUsage;
        return 0;
    }
    if (args.size() != 1) {
        return fail(err, kBadUsage, "pasteboard takes no arguments; it reads standard input");
    }
    std::string text;
    if (!readBounded(in, text)) {
        return fail(err, kNotCopied, "cannot read standard input");
    }
    if (text.size() > kPasteboardLimit) {
        return fail(err, kBadUsage,
                    "standard input holds more than 16 MiB; the clipboard is left as it was");
    }
    const PasteboardSender& send = installedSender();
    if (!send) {
        return fail(err, kNotCopied, "this build has no menu service to hold the clipboard");
    }
    std::string error;
    if (!send(text, error)) {
        return fail(err, kNotCopied, error);
    }
    return 0;
}

}  // namespace tf

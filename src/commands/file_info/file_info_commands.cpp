#include "commands/file_info/file_info_commands.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "commands/builtin_commands.h"
#include "engine/finder_sync.h"
#include "platform/pasteboard.h"
#include "util/digests.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

// Positions of the children of "File Info".
constexpr std::int64_t kMD5Tag = 1;
constexpr std::int64_t kCRC32Tag = 5;

struct DigestAnswer {
    std::optional<std::string> value;
    // Only for CRC-32.
    std::string hexadecimal;
};

DigestAnswer digestOf(const std::string& path, std::int64_t tag) {
    DigestAnswer answer;
    switch (tag) {
        case 1:
            answer.value = md5HashOfFile(path);
            break;
        case 2:
            answer.value = sha1HashOfFile(path);
            break;
        case 3:
            answer.value = sha256HashOfFile(path);
            break;
        case 4:
            answer.value = sha512HashOfFile(path);
            break;
        default:
            answer.value = crc32HashOfFile(path);
            answer.hexadecimal = crc32HexadecimalText(*answer.value);
            break;
    }
    return answer;
}

void copyText(FinderSync& sync, const std::string& text) {
    copyToPasteboard(*sync.ports().pasteboard, text);
}

void showDigestAlert(FinderSync& sync, const std::string& title, const DigestAnswer& answer) {
    AlertRequest request;
    request.message = title;
    request.style = AlertStyle::Informational;
    const bool hasValue = answer.value && isValid(*answer.value);
    const bool hasHexadecimal = isValid(answer.hexadecimal);
    if (hasHexadecimal) {
        request.informative =
            formatText("%@: %@\n%@: %@", {localized("Decimal"), answer.value.value_or(""),
                                          localized("Hexadecimal"), answer.hexadecimal});
        // One text per button, so languages can word "Copy <form>" their own way.
        request.buttons = {localizedFormat("Copy As", {localized("Decimal")}),
                           localizedFormat("Copy As", {localized("Hexadecimal")})};
    } else {
        request.informative = hasValue ? *answer.value : localized("Error Common Tip");
        request.buttons = {localized("Copy"), localized("Cancel")};
    }
    const int chosen = sync.showAlert(request);
    if (chosen == 0) {
        // Without a digest there is nothing worth replacing the clipboard with.
        if (hasValue) {
            copyText(sync, *answer.value);
        }
    } else if (chosen == 1 && hasHexadecimal) {
        copyText(sync, answer.hexadecimal);
    }
}

void showInfoAlert(FinderSync& sync, const FileInfoTexts& texts) {
    const std::string summary = fileInfoSummary(texts);
    AlertRequest request;
    request.message = localized("File Info");
    request.informative = summary;
    if (!texts.readable) {
        request.informative += "\n\n" + localized("Error Common Tip");
    }
    request.style = AlertStyle::Informational;
    request.buttons = {localized("Copy"), localized("Cancel")};
    if (sync.showAlert(request) == 0) {
        copyText(sync, summary);
    }
}

// Digests can take long on large files, so they are computed on the background queue with
// the progress window up, and the answer is shown once they are done.
void copyFileInfo(FinderSync& sync, const CommandCall& call) {
    const std::vector<std::string>& selection = sync.selectURLs();
    if (selection.empty()) {
        return;
    }
    const std::string path = selection.front();
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return;
    }

    const std::int64_t tag = call.item.tag;
    const bool digestChild = tag >= kMD5Tag && tag <= kCRC32Tag;
    // The window computes on its own and shows its own progress.
    if (!digestChild && sync.ports().fileInfo != nullptr) {
        sync.ports().fileInfo->open(path);
        return;
    }
    sync.beginBusy();
    if (digestChild) {
        auto answer = std::make_shared<DigestAnswer>();
        sync.runInBackground([answer, path, tag] { *answer = digestOf(path, tag); },
                             [&sync, answer, title = call.item.key] {
                                 sync.endBusy();
                                 showDigestAlert(sync, title, *answer);
                             });
        return;
    }
    auto texts = std::make_shared<FileInfoTexts>();
    sync.runInBackground([texts, path] { *texts = fileInfoTexts(path); },
                         [&sync, texts] {
                             sync.endBusy();
                             showInfoAlert(sync, *texts);
                         });
}

}  // namespace

FileInfoTexts fileInfoTexts(const std::string& path) {
    const FileDigests digests = fileDigests(path, DigestSet::all());
    FileInfoTexts texts;
    texts.readable = digests.readable();
    texts.md5 = digests.md5.value_or("");
    texts.sha1 = digests.sha1.value_or("");
    texts.sha256 = digests.sha256.value_or("");
    texts.sha512 = digests.sha512.value_or("");
    texts.crc32Decimal = crc32DecimalText(digests.crc32);
    texts.crc32Hexadecimal = crc32HexadecimalText(texts.crc32Decimal);
    return texts;
}

std::string fileInfoSummary(const FileInfoTexts& texts) {
    return "MD5: " + texts.md5 + "\nSHA1: " + texts.sha1 + "\nSHA256: " + texts.sha256 +
           "\nSHA512: " + texts.sha512 + "\nCRC32: " + texts.crc32Decimal + " (" +
           texts.crc32Hexadecimal + ")";
}

void registerFileInfoCommands(CommandTable& table) {
    table.set(CommandId::FileInfo, &copyFileInfo);
}

}  // namespace tf

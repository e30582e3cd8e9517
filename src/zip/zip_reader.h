// The reading half of the zip facade: checking a password and unpacking an archive into a
// folder. libarchive reads the archive; the files are written here, each one relative to an
// open descriptor of the destination and never through a symbolic link, so an archive from
// anywhere cannot place anything outside the destination.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "zip/ss_zip_archive.h"

namespace tf::zip {

// The facade's error codes (kZipErrorDomain). A failure to open or write a file on disk is
// reported in kPosixErrorDomain with the error number as code instead.
enum ZipErrorCode : int {
    kFailedOpenZip = -1,
    kFailedOpenFileInZip = -2,
    kFailedToReadInfo = -3,  // also: a file's check sum or authentication code is wrong
    kFailedToReadContents = -4,
    kFailedToWrite = -5,
    kInvalidArguments = -6,
    // Hostile archives: an entry that would land outside the destination, and an archive
    // that would expand past the bound.
    kUnsafeEntry = -7,
    kTooLarge = -8,
};

// Bounds against archives built to exhaust the disk. The whole unzip stops, and what it wrote
// is removed, once the bytes written or the entries would go past these.
struct UnzipLimits {
    std::uint64_t maxTotalBytes = std::uint64_t{4} << 30;
    std::uint64_t maxEntries = 1'000'000;
};

struct UnzipOptions {
    bool overwrite = false;
    // Used when set and not empty.
    std::optional<std::string> password;
    UnzipLimits limits;
    // (entry name, entry information, zero-based entry index, number of entries)
    std::function<void(const std::string&, const ZipEntryInfo&, std::int64_t, std::int64_t)>
        progress;
};

struct UnzipResult {
    bool ok = false;
    std::optional<ZipError> error;
    // The password was wrong or missing for an encrypted entry (code kFailedOpenFileInZip),
    // or may have been: a wrong password that passed the short verifier and damaged data
    // look the same (kFailedToReadInfo). Callers say so in their own words.
    bool wrongPassword = false;
};

// Whether the password opens the archive: the first encrypted regular file is read whole, so
// its authentication code (or check sum) decides, not the two-byte verifier. An archive
// without encrypted files, or without entries, accepts any password. A wrong password gives
// false without an error; a damaged archive gives false with one.
bool isPasswordValidForArchive(const std::string& archivePath, const std::string& password,
                               ZipError* error = nullptr);

// Unpacks the archive into destination (created when missing), keeping permissions (owner
// read and write always added, set-id bits dropped) and modification times. Entries named
// with "..", absolute names and links leading out of the destination refuse the whole archive
// before anything is written. On any failure what this call created is removed again, and a
// file is only put in place once all its bytes have been read and verified, so a wrong
// password leaves nothing behind. Existing files are replaced only with overwrite, and are
// not restored after a later failure.
UnzipResult unzipArchive(const std::string& archivePath, const std::string& destination,
                         const UnzipOptions& options = {});

// The same for an archive held in memory (the fuzz target feeds these).
bool isPasswordValidForArchiveData(std::string_view archive, const std::string& password,
                                   ZipError* error = nullptr);
UnzipResult unzipArchiveData(std::string_view archive, const std::string& destination,
                             const UnzipOptions& options = {});

}  // namespace tf::zip

// The zip facade: one archive written an item at a time with fixed entry settings, a
// password check and an unzip for the host, all over libarchive (no zip format code of our
// own). Also the compression run that walks a selection into one archive, counts progress
// and cleans up after failure or cancel; it needs no window and runs on any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct archive;
struct archive_entry;

namespace tf {

// Errors of the password check and the unzip. `domain` is kZipErrorDomain for the facade's
// own codes (-1 .. -6) and kPosixErrorDomain when `code` is an errno value (EMFILE,
// ENOSPC while unzipping).
inline constexpr const char* kZipErrorDomain = "SSZipArchiveErrorDomain";
inline constexpr const char* kPosixErrorDomain = "NSPOSIXErrorDomain";

struct ZipError {
    std::string domain;
    int code = 0;
    std::string message;
};

// What the unzip progress callback learns about one entry.
struct ZipEntryInfo {
    std::string name;        // decoded entry name as stored ("A/e/" for a folder)
    std::int64_t size = 0;   // uncompressed size, 0 when unknown
    std::uint32_t mode = 0;  // POSIX type and permission bits
    std::int64_t mtime = 0;  // seconds since the epoch, 0 when unknown
    bool isDirectory = false;
    bool isSymlink = false;
    bool isEncrypted = false;
};

class SSZipArchive {
  public:
    // The only way to make one: the archive path is fixed for its life.
    explicit SSZipArchive(std::string path);
    ~SSZipArchive();
    SSZipArchive(const SSZipArchive&) = delete;
    SSZipArchive& operator=(const SSZipArchive&) = delete;

    const std::string& path() const { return path_; }
    // The file being written while the archive is open: a temporary next to path() that
    // close() renames over it, so a failed or cancelled run never destroys an existing
    // file at path(). Empty when not open.
    const std::string& writingPath() const { return tempPath_; }

    // Writer. `open` creates the archive (an existing file at the path is replaced); one
    // password mode per archive, chosen by the first entry that is written.
    bool open();
    // Adds a regular file (streamed in 16 KiB chunks) or a symbolic link (stored as a link,
    // never followed). entryName: empty means the source's last path component. password:
    // none or empty means no encryption; otherwise WinZip AES-256.
    bool writeFileAtPath(const std::string& sourcePath, const std::string& entryName,
                         const std::optional<std::string>& password);
    // Adds an empty folder entry named folderName + "/" with the folder's time and mode.
    bool writeFolderAtPath(const std::string& folderPath, const std::string& folderName,
                           const std::optional<std::string>& password);
    // Writes the central directory; true when the archive is complete on disk.
    bool close();
    // Gives up on an open archive without finishing it and removes the temporary; path()
    // is left as it was before open().
    void abandon();

    // Reader (host application). True when the password opens the archive: the first
    // encrypted regular file is read whole, so its authentication code decides. An archive
    // without encrypted entries (or without entries) accepts any password. Sets *error
    // (when given) only for failures other than a wrong password.
    static bool isPasswordValidForArchiveAtPath(const std::string& path,
                                                const std::string& password, ZipError* error);

    using UnzipProgress = std::function<void(const std::string& entryName, const ZipEntryInfo& info,
                                             std::int64_t index, std::int64_t count)>;
    using UnzipCompletion =
        std::function<void(const std::string& path, bool succeeded, const ZipError* error)>;

    // Extracts into destination, keeping permissions and modification times. Entries that
    // would leave destination are refused; on failure what was written is removed.
    static bool unzipFileAtPath(const std::string& path, const std::string& destination,
                                bool overwrite, const std::optional<std::string>& password,
                                const UnzipProgress& progress, const UnzipCompletion& completion,
                                ZipError* error = nullptr);

  private:
    bool startWriter(const std::optional<std::string>& password);
    bool writeEntry(struct ::archive_entry* entry, int sourceFd, std::int64_t size);

    std::string path_;
    std::string tempPath_;
    struct ::archive* handle_ = nullptr;
    int fd_ = -1;
    // The writer starts at the first entry: libarchive fixes the encryption for the whole
    // archive when it opens, and only the entries say whether there is a password.
    bool started_ = false;
    std::string passphrase_;
};

// Progress pairs (done, total) of a compression run.
inline constexpr std::int64_t kZipFailed = -1;
inline constexpr std::int64_t kZipCancelled = -2;
inline constexpr std::int64_t kZipNothingCounted = -3;

// A valid password has something besides white space and is not the text "(null)";
// an invalid one means no encryption. A valid one is used as typed.
bool isUsableZipPassword(const std::string& password);

// The exclusion list for "skip junk".
std::vector<std::string> junkFileNames();

class ZipCompressor {
  public:
    using ProgressHandler = std::function<void(std::int64_t done, std::int64_t total)>;

    std::string savePath;

    // Writes the archive at savePath synchronously on the calling thread and reports on it.
    // Items inside a selected folder whose path has a component in excludeFileNames are left
    // out (still counted). Special files are skipped; links are stored as links. When the
    // failure report names an item, failedItem() returns it.
    void startCompressWithPaths(const std::vector<std::string>& paths,
                                const std::vector<std::string>& excludeFileNames,
                                const std::optional<std::string>& password,
                                const ProgressHandler& progressHandler);
    // Any thread: the running compression stops before its next item.
    void stopCompress() { cancel_.store(true); }
    bool isCancelled() const { return cancel_.load(); }
    // The first item that could not be added ("" when none, or when the archive itself
    // could not be created or finished).
    const std::string& failedItem() const { return failedItem_; }

  private:
    std::atomic<bool> cancel_{false};
    std::string failedItem_;
};

}  // namespace tf

// Writer half of the zip facade and the compression run over a selection.
#include "zip/ss_zip_archive.h"

#include "util/path_text.h"
#include "util/posix.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>

namespace tf {

namespace {

constexpr std::size_t kChunk = 16384;
// Output is gathered into blocks this large before each write(2).
constexpr int kOutputBlock = 256 * 1024;

std::string lastComponent(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string parentFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

struct EntryDeleter {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using EntryPtr = std::unique_ptr<archive_entry, EntryDeleter>;

EntryPtr entryFor(const std::string& name, const struct stat& st) {
    EntryPtr entry(archive_entry_new());
    archive_entry_set_pathname_utf8(entry.get(), name.c_str());
    archive_entry_set_mode(entry.get(), st.st_mode);
    archive_entry_set_mtime(entry.get(), st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    archive_entry_set_uid(entry.get(), st.st_uid);
    archive_entry_set_gid(entry.get(), st.st_gid);
    return entry;
}

// Whether deflate would gain anything on this file. Media, archives and encrypted data do
// not shrink; deflating them costs most of an archive's time and makes them slightly
// larger, so such entries are stored. Judged on up to three 64 KiB samples (start, middle,
// end) at zlib's fastest level, which agrees with the real level on incompressible data.
bool worthDeflating(int fd, std::int64_t size) {
    constexpr std::int64_t kSample = 64 * 1024;
    if (size < 2 * kSample) {
        return true;  // small: deflating costs little and the sample would be most of it
    }
    std::vector<Bytef> in(kSample);
    std::vector<Bytef> out(compressBound(kSample));
    std::uint64_t inTotal = 0;
    std::uint64_t outTotal = 0;
    for (const std::int64_t at : {std::int64_t{0}, size / 2, size - kSample}) {
        const ssize_t n = ::pread(fd, in.data(), in.size(), at);
        if (n <= 0) {
            return true;  // the real read decides what went wrong
        }
        uLongf outSize = out.size();
        if (compress2(out.data(), &outSize, in.data(), static_cast<uLong>(n), 1) != Z_OK) {
            return true;
        }
        inTotal += static_cast<std::uint64_t>(n);
        outTotal += outSize;
    }
    return outTotal * 100 < inTotal * 97;
}

}  // namespace

bool isUsableZipPassword(const std::string& password) {
    const bool blank = std::all_of(password.begin(), password.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) != 0;
    });
    return !blank && password != "(null)";
}

std::vector<std::string> junkFileNames() {
    return {".DS_Store", "_MACOSX", "__MACOSX"};
}

SSZipArchive::SSZipArchive(std::string path) : path_(std::move(path)) {}

SSZipArchive::~SSZipArchive() {
    abandon();
}

bool SSZipArchive::open() {
    if (fd_ >= 0) {
        return false;
    }
    std::string pattern = parentFolder(path_) + "/." + lastComponent(path_) + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    fd_ = fd;
    tempPath_ = pattern;
    started_ = false;
    passphrase_.clear();
    return true;
}

bool SSZipArchive::startWriter(const std::optional<std::string>& password) {
    const std::string wanted = password.value_or(std::string());
    if (started_) {
        // One encryption mode per archive: entries that disagree cannot be honoured.
        return handle_ != nullptr && wanted == passphrase_;
    }
    if (fd_ < 0) {
        return false;
    }
    started_ = true;
    passphrase_ = wanted;
    handle_ = archive_write_new();
    if (handle_ == nullptr) {
        return false;
    }
    bool ok = archive_write_set_format_zip(handle_) == ARCHIVE_OK &&
              archive_write_set_bytes_per_block(handle_, kOutputBlock) == ARCHIVE_OK &&
              archive_write_set_bytes_in_last_block(handle_, 1) == ARCHIVE_OK &&
              archive_write_set_format_option(handle_, "zip", "zip64", "1") == ARCHIVE_OK &&
              archive_write_set_format_option(handle_, "zip", "hdrcharset", "UTF-8") == ARCHIVE_OK;
    if (ok && !wanted.empty()) {
        ok = archive_write_set_passphrase(handle_, wanted.c_str()) == ARCHIVE_OK &&
             archive_write_set_format_option(handle_, "zip", "encryption", "aes256") == ARCHIVE_OK;
    }
    ok = ok && archive_write_open_fd(handle_, fd_) == ARCHIVE_OK;
    if (!ok) {
        archive_write_free(handle_);
        handle_ = nullptr;
    }
    return ok;
}

bool SSZipArchive::writeEntry(archive_entry* entry, int sourceFd, std::int64_t size) {
    const int chosen = sourceFd >= 0 && !worthDeflating(sourceFd, size)
                           ? archive_write_zip_set_compression_store(handle_)
                           : archive_write_zip_set_compression_deflate(handle_);
    if (chosen != ARCHIVE_OK || archive_write_header(handle_, entry) != ARCHIVE_OK) {
        return false;
    }
    if (sourceFd < 0) {
        return archive_write_finish_entry(handle_) == ARCHIVE_OK;
    }
    // A file that cannot be read to the end, or that changes size while it is read, would
    // go in truncated or padded: that is a failure, not a success.
    std::vector<char> buffer(kChunk);
    std::int64_t written = 0;
    for (;;) {
        const ssize_t n = ::read(sourceFd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            break;
        }
        if (written + n > size) {
            return false;
        }
        if (archive_write_data(handle_, buffer.data(), static_cast<std::size_t>(n)) != n) {
            return false;
        }
        written += n;
    }
    return written == size && archive_write_finish_entry(handle_) == ARCHIVE_OK;
}

bool SSZipArchive::writeFileAtPath(const std::string& sourcePath, const std::string& entryName,
                                   const std::optional<std::string>& password) {
    struct stat st {};
    if (fd_ < 0 || ::lstat(sourcePath.c_str(), &st) != 0) {
        return false;
    }
    const std::string name = entryName.empty() ? lastComponent(sourcePath) : entryName;
    if (S_ISLNK(st.st_mode)) {
        // Stored as a link: never followed, so a link to a folder cannot loop.
        std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
        const ssize_t n = ::readlink(sourcePath.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
            return false;
        }
        target.resize(static_cast<std::size_t>(n));
        if (!startWriter(password)) {
            return false;
        }
        EntryPtr entry = entryFor(name, st);
        archive_entry_set_symlink_utf8(entry.get(), target.c_str());
        archive_entry_set_size(entry.get(), 0);
        return writeEntry(entry.get(), -1, 0);
    }
    if (!S_ISREG(st.st_mode)) {
        return false;
    }
    // O_NONBLOCK: should the path have been swapped for a FIFO since lstat, opening it
    // must not hang; fstat below refuses anything that is not the regular file we saw.
    UniqueFd source(::open(sourcePath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat opened {};
    if (!source.valid() || ::fstat(source.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_ino != st.st_ino || opened.st_dev != st.st_dev) {
        return false;
    }
    const int flags = ::fcntl(source.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(source.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    if (!startWriter(password)) {
        return false;
    }
    EntryPtr entry = entryFor(name, opened);
    archive_entry_set_size(entry.get(), opened.st_size);
    return writeEntry(entry.get(), source.get(), opened.st_size);
}

bool SSZipArchive::writeFolderAtPath(const std::string& folderPath, const std::string& folderName,
                                     const std::optional<std::string>& password) {
    struct stat st {};
    if (fd_ < 0 || ::stat(folderPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        folderName.empty()) {
        return false;
    }
    if (!startWriter(password)) {
        return false;
    }
    EntryPtr entry = entryFor(folderName + "/", st);
    archive_entry_set_size(entry.get(), 0);
    return writeEntry(entry.get(), -1, 0);
}

bool SSZipArchive::close() {
    if (fd_ < 0) {
        return false;
    }
    // An archive without entries still needs its (empty) central directory.
    bool ok = startWriter(started_ ? std::optional<std::string>(passphrase_) : std::nullopt);
    if (handle_ != nullptr) {
        ok = archive_write_close(handle_) == ARCHIVE_OK && ok;
        archive_write_free(handle_);
        handle_ = nullptr;
    }
    // Flushed first only when it replaces a file: a crash between an unflushed write and
    // the rename could otherwise leave an empty file where the old one was. A new archive
    // needs no such guarantee and is not slowed by it.
    struct stat existing {};
    if (ok && ::lstat(path_.c_str(), &existing) == 0) {
        ok = ::fsync(fd_) == 0;
    }
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    ok = ok && ::rename(tempPath_.c_str(), path_.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath_.c_str());
    }
    tempPath_.clear();
    return ok;
}

void SSZipArchive::abandon() {
    if (handle_ != nullptr) {
        // Freed through a normal close: after archive_write_fail the library skips the
        // close that releases an entry's compressor state. What it still writes goes into
        // the temporary file, removed below.
        archive_write_free(handle_);
        handle_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ::unlink(tempPath_.c_str());
    }
    tempPath_.clear();
}

// ---- The compression run ----

namespace {

enum class Kind { File, Folder, Link, Special };

Kind kindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return Kind::Folder;
    }
    if (S_ISREG(mode)) {
        return Kind::File;
    }
    if (S_ISLNK(mode)) {
        return Kind::Link;
    }
    return Kind::Special;
}

constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);

struct Item {
    std::string relative;  // below the selected folder
    Kind kind = Kind::File;
    std::size_t parent = kNoParent;
    bool hasWrittenChild = false;
    bool excluded = false;
};

// Lists everything below folder, depth first, parents before their children; links are
// listed, never followed. Returns the path that could not be listed, or "" on success.
std::string listTree(const std::string& folder, const std::string& relative, std::size_t parent,
                     std::vector<Item>& items) {
    const std::string full = relative.empty() ? folder : folder + "/" + relative;
    DIR* dir = ::opendir(full.c_str());
    if (dir == nullptr) {
        return full;
    }
    std::vector<std::pair<std::string, Kind>> children;
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat st {};
        const std::string child = full + "/" + name;
        if (::lstat(child.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                errno = 0;
                continue;  // gone since it was listed
            }
            ::closedir(dir);
            return child;
        }
        children.emplace_back(name, kindOf(st.st_mode));
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        return full;
    }
    for (const auto& [name, kind] : children) {
        const std::string rel = relative.empty() ? name : relative + "/" + name;
        items.push_back(Item{rel, kind, parent, false, false});
        if (kind == Kind::Folder) {
            if (std::string failed = listTree(folder, rel, items.size() - 1, items);
                !failed.empty()) {
                return failed;
            }
        }
    }
    return {};
}

bool hasExcludedComponent(const std::string& relative, const std::vector<std::string>& names) {
    if (names.empty()) {
        return false;
    }
    std::size_t start = 0;
    while (start <= relative.size()) {
        const auto slash = relative.find('/', start);
        const std::string part =
            relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (std::find(names.begin(), names.end(), part) != names.end()) {
            return true;
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    return false;
}

struct Selected {
    std::string path;
    Kind kind = Kind::File;
    std::vector<Item> items;  // for a folder
};

}  // namespace

void ZipCompressor::startCompressWithPaths(const std::vector<std::string>& paths,
                                           const std::vector<std::string>& excludeFileNames,
                                           const std::optional<std::string>& password,
                                           const ProgressHandler& progressHandler) {
    const auto report = [&](std::int64_t done, std::int64_t total) {
        if (progressHandler) {
            progressHandler(done, total);
        }
    };
    failedItem_.clear();
    report(0, 0);

    SSZipArchive archive(savePath);
    bool ok = archive.open();
    std::int64_t done = 0;
    std::int64_t total = 0;
    std::vector<Selected> selection;
    const auto fail = [&](const std::string& item) {
        if (ok && failedItem_.empty()) {
            failedItem_ = item;
        }
        ok = false;
    };

    // Count first, from one listing that the walk then follows, so progress is exact.
    if (ok) {
        for (const std::string& path : paths) {
            Selected selected;
            selected.path = path;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) {
                fail(path);
                break;
            }
            selected.kind = kindOf(st.st_mode);
            if (selected.kind == Kind::Folder) {
                if (std::string failed = listTree(path, "", kNoParent, selected.items);
                    !failed.empty()) {
                    fail(failed);
                    break;
                }
                total += static_cast<std::int64_t>(selected.items.size());
            } else {
                total += 1;
            }
            selection.push_back(std::move(selected));
        }
    }

    // Items of the same name from different folders (a search result) would otherwise
    // share one entry name, and unpacking would keep only one of them.
    std::set<std::string> topNames;
    const auto topName = [&](const std::string& path) {
        std::string name = uniquePath(lastComponent(path), [&](const std::string& candidate) {
            return topNames.count(candidate) != 0;
        });
        topNames.insert(name);
        return name;
    };

    const std::string ownArchive = archive.writingPath();
    const auto isOwnArchive = [&](const std::string& full) {
        return full == savePath || full == ownArchive;
    };

    if (ok) {
        for (Selected& selected : selection) {
            if (isCancelled()) {
                break;
            }
            if (selected.kind != Kind::Folder) {
                // Special files (FIFOs, sockets, devices) are never opened: a FIFO would
                // block the run forever.
                if (selected.kind != Kind::Special && !isOwnArchive(selected.path) &&
                    !archive.writeFileAtPath(selected.path, topName(selected.path), password)) {
                    fail(selected.path);
                }
                ++done;
                report(done, total);
                continue;
            }
            // Which folders end up with something inside: a folder whose items are all
            // left out still gets its own entry, so it is not lost.
            std::vector<Item>& items = selected.items;
            for (Item& item : items) {
                item.excluded = hasExcludedComponent(item.relative, excludeFileNames);
            }
            for (const Item& item : items) {
                const bool written = !item.excluded && item.kind != Kind::Special &&
                                     !isOwnArchive(selected.path + "/" + item.relative);
                if (!written) {
                    continue;
                }
                if (item.parent != kNoParent) {
                    items[item.parent].hasWrittenChild = true;
                }
            }
            const std::string top = topName(selected.path);
            for (const Item& item : items) {
                if (isCancelled()) {
                    break;
                }
                const std::string full = selected.path + "/" + item.relative;
                if (!item.excluded && item.kind != Kind::Special && !isOwnArchive(full)) {
                    const std::string name = top + "/" + item.relative;
                    bool added = true;
                    if (item.kind == Kind::Folder) {
                        if (!item.hasWrittenChild) {
                            added = archive.writeFolderAtPath(full, name, password);
                        }
                    } else {
                        added = archive.writeFileAtPath(full, name, password);
                    }
                    if (!added) {
                        fail(full);
                    }
                }
                ++done;
                report(done, total);
            }
        }
    }

    if (isCancelled() || !ok) {
        archive.abandon();
        report(done, isCancelled() ? kZipCancelled : kZipFailed);
        return;
    }
    if (!archive.close()) {
        report(done, kZipFailed);
        return;
    }
    if (done == 0 && total == 0) {
        report(0, kZipNothingCounted);
    } else if (done != total) {
        report(total, total);
    }
}

}  // namespace tf

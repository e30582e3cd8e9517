#include "zip/zip_reader.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "util/log.h"
#include "util/posix.h"
#include "zip/zip_entry_names.h"

namespace tf::zip {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

// ---- libarchive ----------------------------------------------------------------------------

// Entry names flagged UTF-8 only read in a UTF-8 locale; switched for this thread alone, so
// the rest of the program keeps its own.
class Utf8LocaleScope {
  public:
    Utf8LocaleScope() {
        static const locale_t utf8 = [] {
            locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
            return made ? made : newlocale(LC_CTYPE_MASK, "C.utf8", locale_t{});
        }();
        if (utf8) {
            previous_ = uselocale(utf8);
        }
    }
    ~Utf8LocaleScope() {
        if (previous_) {
            uselocale(previous_);
        }
    }
    Utf8LocaleScope(const Utf8LocaleScope&) = delete;
    Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;

  private:
    locale_t previous_{};
};

struct ReadDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
using Reader = std::unique_ptr<archive, ReadDeleter>;

// Where the archive comes from: a file, or bytes in memory.
struct Source {
    const std::string* path = nullptr;
    std::string_view data;
};

Reader openReader(const Source& source, const std::string* password) {
    Reader reader(archive_read_new());
    if (!reader) {
        return {};
    }
    archive* a = reader.get();
    // Both readers: the central directory is the archive's own index of its entries and wins
    // when present; the streaming one still takes an archive of no entries at all.
    archive_read_support_format_zip(a);
    if (password && !password->empty()) {
        archive_read_add_passphrase(a, password->c_str());
    }
    const int opened = source.path
                           ? archive_read_open_filename(a, source.path->c_str(), kChunk)
                           : archive_read_open_memory(a, source.data.data(), source.data.size());
    if (opened != ARCHIVE_OK) {
        return {};
    }
    return reader;
}

ZipError zipError(int code, std::string message) {
    ZipError error;
    error.domain = kZipErrorDomain;
    error.code = code;
    error.message = std::move(message);
    return error;
}

ZipError posixError(int number) {
    ZipError error;
    error.domain = kPosixErrorDomain;
    error.code = number;
    error.message = errnoText(number);
    return error;
}

// How reading an entry's data went wrong.
enum class DataFailure {
    kPassword,
    kPasswordOrDamage,  // a wrong password that passed the short verifier, or damaged data
    kIntegrity,
    kOther
};

DataFailure classify(archive* a, bool encrypted) {
    const char* text = archive_error_string(a);
    const std::string_view message = text ? text : "";
    if (message.find("assphrase") != std::string_view::npos) {
        return DataFailure::kPassword;
    }
    const bool integrity = message.find("CRC") != std::string_view::npos ||
                           message.find("Authentication") != std::string_view::npos ||
                           message.find("decompression failed") != std::string_view::npos;
    if (integrity) {
        return encrypted ? DataFailure::kPasswordOrDamage : DataFailure::kIntegrity;
    }
    return DataFailure::kOther;
}

// The name as libarchive hands it over, decoded.
std::optional<std::string> entryName(archive_entry* entry) {
    if (const char* raw = archive_entry_pathname(entry)) {
        return decodeEntryName(raw);
    }
    if (const char* utf8 = archive_entry_pathname_utf8(entry)) {
        return std::string(utf8);
    }
    return std::nullopt;
}

bool passwordValid(const Source& source, const std::string& password, ZipError* error) {
    if (error) {
        *error = {};
    }
    const Utf8LocaleScope locale;
    const Reader reader = openReader(source, &password);
    if (!reader) {
        if (error) {
            *error = zipError(kFailedOpenZip, "failed to open zip file");
        }
        return false;
    }
    archive* a = reader.get();
    const UnzipLimits limits;
    std::vector<char> buffer(kChunk);
    archive_entry* entry = nullptr;
    while (true) {
        const int next = archive_read_next_header(a, &entry);
        if (next == ARCHIVE_EOF) {
            return true;
        }
        if (next < ARCHIVE_WARN) {
            if (error) {
                *error = zipError(kFailedToReadInfo, "failed to retrieve info for file");
            }
            return false;
        }
        if (archive_entry_filetype(entry) != AE_IFREG || !archive_entry_is_data_encrypted(entry)) {
            continue;
        }
        // The whole file: the authentication code at its end is what tells a right password.
        std::uint64_t total = 0;
        while (true) {
            const la_ssize_t got = archive_read_data(a, buffer.data(), buffer.size());
            if (got == 0) {
                return true;
            }
            if (got < 0) {
                const DataFailure failure = classify(a, true);
                if (failure == DataFailure::kPassword ||
                    failure == DataFailure::kPasswordOrDamage) {
                    return false;
                }
                if (error) {
                    *error =
                        zipError(kFailedToReadContents, "failed to read contents of file entry");
                }
                return false;
            }
            total += static_cast<std::uint64_t>(got);
            if (total > limits.maxTotalBytes) {
                if (error) {
                    *error = zipError(kTooLarge, "archive expands past the size limit");
                }
                return false;
            }
        }
    }
}

// ---- unzip ---------------------------------------------------------------------------------

enum class Kind { kFolder, kFile, kLink, kSkip };

struct Planned {
    std::string name;
    std::vector<std::string> parts;
    Kind kind = Kind::kSkip;
};

struct Folder {
    std::vector<std::string> parts;
    ZipEntryInfo info;
};

// What one unzip created, so a failure can take it back.
struct Created {
    std::string path;  // relative to the destination
    bool folder = false;
};

class Unzipper {
  public:
    Unzipper(const Source& source, std::string destination, const UnzipOptions& options)
        : source_(source), destination_(std::move(destination)), options_(options) {}

    UnzipResult run() {
        UnzipResult result;
        if (destination_.empty() || (source_.path && source_.path->empty())) {
            result.error = zipError(kInvalidArguments, "received invalid argument(s)");
            return result;
        }
        const Utf8LocaleScope locale;
        std::optional<ZipError> error = plan();
        if (!error && !plan_.empty()) {
            error = extract();
        }
        if (error) {
            rollback();
            result.error = std::move(error);
            result.wrongPassword = wrongPassword_;
            return result;
        }
        result.ok = true;
        return result;
    }

  private:
    // Reads every header first: the names, the links and the declared sizes decide whether
    // anything is written at all.
    std::optional<ZipError> plan() {
        const Reader reader = openReader(source_, nullptr);
        if (!reader) {
            return zipError(kFailedOpenZip, "failed to open zip file");
        }
        archive* a = reader.get();
        archive_entry* entry = nullptr;
        std::uint64_t declared = 0;
        std::unordered_set<std::string> links;
        while (true) {
            const int next = archive_read_next_header(a, &entry);
            if (next == ARCHIVE_EOF) {
                break;
            }
            std::optional<std::string> name = entryName(entry);
            if (next < ARCHIVE_WARN || !name) {
                return zipError(plan_.empty() ? kFailedOpenFileInZip : kFailedToReadInfo,
                                plan_.empty() ? "failed to open first file in zip file"
                                              : "failed to retrieve info for file");
            }
            if (plan_.size() >= options_.limits.maxEntries) {
                return zipError(kTooLarge, "archive holds more entries than allowed");
            }
            if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0) {
                declared += static_cast<std::uint64_t>(archive_entry_size(entry));
                if (declared > options_.limits.maxTotalBytes) {
                    return zipError(kTooLarge, "archive expands past the size limit");
                }
            }
            Planned planned;
            planned.name = *name;
            if (name->starts_with("__MACOSX/")) {
                plan_.push_back(std::move(planned));
                continue;
            }
            EntryPath path = entryPath(*name);
            if (path.unsafe) {
                return unsafe(*name, "its name leads out of the destination");
            }
            if (path.parts.empty()) {
                path.parts.push_back(std::to_string(plan_.size()));
            }
            const auto type = archive_entry_filetype(entry);
            if (name->ends_with('/') || name->ends_with('\\') || type == AE_IFDIR) {
                planned.kind = Kind::kFolder;
            } else if (type == AE_IFLNK) {
                const char* target = archive_entry_symlink(entry);
                if (!target || !linkStaysInside(path.parts, target)) {
                    return unsafe(*name, "it links out of the destination");
                }
                links.insert(joinParts(path.parts, path.parts.size()));
                planned.kind = Kind::kLink;
            } else if (type == AE_IFREG || type == 0) {
                planned.kind = archive_entry_hardlink(entry) ? Kind::kSkip : Kind::kFile;
            }  // devices, pipes and sockets are never made from an archive
            planned.parts = std::move(path.parts);
            plan_.push_back(std::move(planned));
        }
        // Nothing is written through a link the archive itself makes.
        for (const Planned& planned : plan_) {
            for (std::size_t n = 1; n < planned.parts.size(); ++n) {
                if (links.contains(joinParts(planned.parts, n))) {
                    return unsafe(planned.name, "it would be written through a link");
                }
            }
        }
        return std::nullopt;
    }

    static ZipError unsafe(const std::string& name, std::string_view why) {
        std::string message = "refused entry \"" + name + "\": ";
        message += why;
        return zipError(kUnsafeEntry, std::move(message));
    }

    std::optional<ZipError> openDestination() {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::path missing = fs::path(destination_);
        // The outermost folder this call makes, to take back on failure.
        while (!missing.empty() && !fs::exists(fs::symlink_status(missing, ec))) {
            createdRoot_ = missing;
            missing = missing.parent_path();
        }
        if (!createdRoot_.empty()) {
            fs::create_directories(destination_, ec);
            if (ec) {
                createdRoot_.clear();
                return ec.value() == ENOSPC
                           ? posixError(ENOSPC)
                           : zipError(kInvalidArguments, "received invalid argument(s)");
            }
        }
        destFd_ = UniqueFd(open(destination_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!destFd_.valid()) {
            return zipError(kInvalidArguments, "received invalid argument(s)");
        }
        return std::nullopt;
    }

    std::optional<ZipError> extract() {
        if (auto error = openDestination()) {
            return error;
        }
        const Reader reader =
            openReader(source_, options_.password ? &*options_.password : nullptr);
        if (!reader) {
            return zipError(kFailedOpenZip, "failed to open zip file");
        }
        archive* a = reader.get();
        archive_entry* entry = nullptr;
        const auto count = static_cast<std::int64_t>(plan_.size());
        for (std::size_t index = 0; index < plan_.size(); ++index) {
            const int next = archive_read_next_header(a, &entry);
            if (next < ARCHIVE_WARN || next == ARCHIVE_EOF) {
                return zipError(kFailedToReadInfo, "failed to retrieve info for file");
            }
            const Planned& planned = plan_[index];
            // The same reader over the same bytes sees the same entries; anything else and
            // the checks made on the names would not hold.
            const std::optional<std::string> name = entryName(entry);
            if (!name || *name != planned.name) {
                return zipError(kFailedToReadInfo, "failed to retrieve info for file");
            }
            ZipEntryInfo info = infoOf(entry, planned);
            std::optional<ZipError> error;
            switch (planned.kind) {
                case Kind::kFolder:
                    error = makeFolder(planned, info);
                    break;
                case Kind::kFile:
                    error = writeFile(a, planned, info);
                    break;
                case Kind::kLink:
                    error = makeLink(entry, planned);
                    break;
                case Kind::kSkip:
                    break;
            }
            if (error) {
                return error;
            }
            if (options_.progress) {
                options_.progress(planned.name, info, static_cast<std::int64_t>(index), count);
            }
        }
        finishFolders();
        return std::nullopt;
    }

    static ZipEntryInfo infoOf(archive_entry* entry, const Planned& planned) {
        ZipEntryInfo info;
        info.name = planned.name;
        info.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
        info.isDirectory = planned.kind == Kind::kFolder;
        info.isSymlink = planned.kind == Kind::kLink;
        info.isEncrypted = archive_entry_is_data_encrypted(entry) != 0;
        if (archive_entry_mtime_is_set(entry)) {
            info.mtime = archive_entry_mtime(entry);
        }
        info.mode = static_cast<std::uint32_t>(archive_entry_mode(entry));
        return info;
    }

    // Opens (making what is missing) the folder that holds parts[0..count) below the
    // destination, never through a link. An empty descriptor with no error: the place is
    // taken by something else, and the entry is skipped.
    std::pair<int, std::optional<ZipError>> folderFd(const std::vector<std::string>& parts,
                                                     std::size_t count) {
        const std::string key = joinParts(parts, count);
        if (count == 0) {
            return {destFd_.get(), std::nullopt};
        }
        if (cachedFd_.valid() && cachedKey_ == key) {
            return {cachedFd_.get(), std::nullopt};
        }
        UniqueFd current;
        int at = destFd_.get();
        for (std::size_t i = 0; i < count; ++i) {
            const char* part = parts[i].c_str();
            int fd = openat(at, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0 && errno == ENOENT) {
                if (mkdirat(at, part, 0777) == 0) {
                    created_.push_back({joinParts(parts, i + 1), true});
                } else if (errno == ENOSPC) {
                    return {-1, posixError(ENOSPC)};
                }
                fd = openat(at, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            }
            if (fd < 0) {
                const int error = errno;
                struct stat st {};
                if (fstatat(at, part, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
                    return {-1,
                            unsafe(joinParts(parts, count), "it would be written through a link")};
                }
                logWarning("[SSZipArchive] Failed to create folder " + joinParts(parts, i + 1) +
                           ": " + errnoText(error));
                return {-1, std::nullopt};
            }
            current.reset(fd);
            at = fd;
        }
        cachedFd_ = std::move(current);
        cachedKey_ = key;
        return {cachedFd_.get(), std::nullopt};
    }

    std::optional<ZipError> makeFolder(const Planned& planned, const ZipEntryInfo& info) {
        auto [fd, error] = folderFd(planned.parts, planned.parts.size());
        if (error) {
            return error;
        }
        if (fd >= 0) {
            folders_.push_back({planned.parts, info});
        }
        return std::nullopt;
    }

    // Bytes go to a hidden file beside the target, which takes the target's name only once
    // the archive vouched for every byte.
    std::optional<ZipError> writeFile(archive* a, const Planned& planned,
                                      const ZipEntryInfo& info) {
        auto opened = folderFd(planned.parts, planned.parts.size() - 1);
        const int folder = opened.first;
        if (opened.second || folder < 0) {
            return opened.second;
        }
        const std::string& name = planned.parts.back();
        struct stat existing {};
        const bool exists = fstatat(folder, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
        if (exists && (!options_.overwrite || S_ISDIR(existing.st_mode))) {
            return std::nullopt;
        }
        std::string temporary;
        UniqueFd out;
        for (int attempt = 0; attempt < 100 && !out.valid(); ++attempt) {
            temporary = ".tf-unzip-" + std::to_string(getpid()) + "-" + std::to_string(serial_++);
            out.reset(openat(folder, temporary.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (!out.valid() && errno != EEXIST) {
                break;
            }
        }
        if (!out.valid()) {
            const int number = errno;
            if (number == EMFILE || number == ENOSPC) {
                return posixError(number);
            }
            if (number != EISDIR) {
                logWarning("[SSZipArchive] Failed to open file on unzipping.(" + planned.name +
                           ")");
            }
            return std::nullopt;
        }
        auto discard = [&] { unlinkat(folder, temporary.c_str(), 0); };

        std::vector<char>& buffer = buffer_;
        buffer.resize(kChunk);
        while (true) {
            const la_ssize_t got = archive_read_data(a, buffer.data(), buffer.size());
            if (got == 0) {
                break;
            }
            if (got < 0) {
                discard();
                return dataError(a, info);
            }
            written_ += static_cast<std::uint64_t>(got);
            if (written_ > options_.limits.maxTotalBytes) {
                discard();
                return zipError(kTooLarge, "archive expands past the size limit");
            }
            if (writeAll(out.get(),
                         std::string_view(buffer.data(), static_cast<std::size_t>(got))) != 0) {
                discard();
                return zipError(kFailedToWrite, "Failed to write file (check your free space)");
            }
        }
        if (fchmod(out.get(), (info.mode & 0777u) | 0600u) != 0) {
            logWarning("[SSZipArchive] Failed to set attributes - whilst setting permissions");
        }
        if (info.mtime != 0) {
            const timespec times[2] = {{0, UTIME_OMIT}, {info.mtime, 0}};
            if (futimens(out.get(), times) != 0) {
                logWarning(
                    "[SSZipArchive] Failed to set attributes - whilst setting modification date");
            }
        }
        if (out.close() != 0 || renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
            discard();
            return zipError(kFailedToWrite, "Failed to write file (check your free space)");
        }
        if (!exists) {
            created_.push_back({joinParts(planned.parts, planned.parts.size()), false});
        }
        return std::nullopt;
    }

    ZipError dataError(archive* a, const ZipEntryInfo& info) {
        switch (classify(a, info.isEncrypted)) {
            case DataFailure::kPassword:
                wrongPassword_ = true;
                return zipError(kFailedOpenFileInZip, "failed to open file in zip file");
            case DataFailure::kPasswordOrDamage:
                wrongPassword_ = true;
                return zipError(kFailedToReadInfo, "crc check failed for file");
            case DataFailure::kIntegrity:
                return zipError(kFailedToReadInfo, "crc check failed for file");
            case DataFailure::kOther:
                break;
        }
        return zipError(kFailedToReadContents, "failed to read contents of file entry");
    }

    std::optional<ZipError> makeLink(archive_entry* entry, const Planned& planned) {
        auto opened = folderFd(planned.parts, planned.parts.size() - 1);
        const int folder = opened.first;
        if (opened.second || folder < 0) {
            return opened.second;
        }
        const std::string& name = planned.parts.back();
        struct stat existing {};
        if (fstatat(folder, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
            if (!S_ISLNK(existing.st_mode) || unlinkat(folder, name.c_str(), 0) != 0) {
                logWarning("[SSZipArchive] Failed to create link " + planned.name);
                return std::nullopt;
            }
        }
        if (symlinkat(archive_entry_symlink(entry), folder, name.c_str()) != 0) {
            if (errno == ENOSPC) {
                return posixError(ENOSPC);
            }
            logWarning("[SSZipArchive] Failed to create link " + planned.name);
            return std::nullopt;
        }
        created_.push_back({joinParts(planned.parts, planned.parts.size()), false});
        return std::nullopt;
    }

    // Folder times last: writing inside a folder changes its time.
    void finishFolders() {
        cachedFd_.reset();
        for (const Folder& folder : folders_) {
            UniqueFd fd;
            int at = destFd_.get();
            for (const std::string& part : folder.parts) {
                fd.reset(openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (!fd.valid()) {
                    break;
                }
                at = fd.get();
            }
            if (!fd.valid()) {
                continue;
            }
            if ((folder.info.mode & 0777u) != 0) {
                static_cast<void>(fchmod(fd.get(), (folder.info.mode & 0777u) | 0700u));
            }
            if (folder.info.mtime != 0) {
                const timespec times[2] = {{0, UTIME_OMIT}, {folder.info.mtime, 0}};
                static_cast<void>(futimens(fd.get(), times));
            }
        }
    }

    void rollback() {
        cachedFd_.reset();
        if (destFd_.valid()) {
            for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
                static_cast<void>(
                    unlinkat(destFd_.get(), it->path.c_str(), it->folder ? AT_REMOVEDIR : 0));
            }
        }
        if (!createdRoot_.empty()) {
            destFd_.reset();
            std::error_code ec;
            // Only folders that are empty again: a failure must never take more than it made.
            for (std::filesystem::path p = destination_;; p = p.parent_path()) {
                std::filesystem::remove(p, ec);
                if (ec || p == createdRoot_ || p.empty()) {
                    break;
                }
            }
        }
    }

    Source source_;
    std::string destination_;
    const UnzipOptions& options_;
    std::vector<Planned> plan_;
    std::vector<Folder> folders_;
    std::vector<Created> created_;
    std::filesystem::path createdRoot_;
    UniqueFd destFd_;
    UniqueFd cachedFd_;
    std::string cachedKey_;
    std::vector<char> buffer_;
    std::uint64_t written_ = 0;
    bool wrongPassword_ = false;
    unsigned long serial_ = 0;
};

}  // namespace

bool isPasswordValidForArchive(const std::string& archivePath, const std::string& password,
                               ZipError* error) {
    return passwordValid(Source{&archivePath, {}}, password, error);
}

bool isPasswordValidForArchiveData(std::string_view archive, const std::string& password,
                                   ZipError* error) {
    return passwordValid(Source{nullptr, archive}, password, error);
}

UnzipResult unzipArchive(const std::string& archivePath, const std::string& destination,
                         const UnzipOptions& options) {
    return Unzipper(Source{&archivePath, {}}, destination, options).run();
}

UnzipResult unzipArchiveData(std::string_view archive, const std::string& destination,
                             const UnzipOptions& options) {
    return Unzipper(Source{nullptr, archive}, destination, options).run();
}

}  // namespace tf::zip

namespace tf {

bool SSZipArchive::isPasswordValidForArchiveAtPath(const std::string& path,
                                                   const std::string& password, ZipError* error) {
    return zip::isPasswordValidForArchive(path, password, error);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination,
                                   bool overwrite, const std::optional<std::string>& password,
                                   const UnzipProgress& progress, const UnzipCompletion& completion,
                                   ZipError* error) {
    zip::UnzipOptions options;
    options.overwrite = overwrite;
    options.password = password;
    options.progress = progress;
    const zip::UnzipResult result = zip::unzipArchive(path, destination, options);
    if (error) {
        *error = result.error.value_or(ZipError{});
    }
    if (completion) {
        // An archive that could not be opened at all is reported without its path.
        const bool opened = result.ok || (result.error->code != zip::kInvalidArguments &&
                                          result.error->code != zip::kFailedOpenZip);
        completion(opened ? path : std::string(), result.ok,
                   result.error ? &*result.error : nullptr);
    }
    return result.ok;
}

}  // namespace tf

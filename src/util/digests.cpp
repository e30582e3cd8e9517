#include "util/digests.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "util/posix.h"

namespace tf {

namespace {

enum class Kind { MD5, SHA1, SHA256, SHA512, CRC32 };

// Fetched once: an implicit fetch on every initialisation costs a provider lookup per file.
// The fetched methods are released by a static destructor, which runs before the library's
// own exit cleanup because the first fetch registers that cleanup earlier.
class Methods {
  public:
    Methods() {
        const std::array<std::pair<const char*, const EVP_MD* (*)()>, 4> known = {{
            {"MD5", &EVP_md5},
            {"SHA1", &EVP_sha1},
            {"SHA256", &EVP_sha256},
            {"SHA512", &EVP_sha512},
        }};
        for (std::size_t i = 0; i < known.size(); ++i) {
            fetched_[i] = EVP_MD_fetch(nullptr, known[i].first, nullptr);
            methods_[i] = fetched_[i] ? fetched_[i] : known[i].second();
        }
    }
    ~Methods() {
        for (EVP_MD* md : fetched_) {
            EVP_MD_free(md);
        }
    }
    Methods(const Methods&) = delete;
    Methods& operator=(const Methods&) = delete;

    const EVP_MD* operator[](Kind kind) const { return methods_[static_cast<std::size_t>(kind)]; }

  private:
    std::array<EVP_MD*, 4> fetched_{};
    std::array<const EVP_MD*, 4> methods_{};
};

const EVP_MD* method(Kind kind) {
    static const Methods methods;
    return methods[kind];
}

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// One digest being computed.
class Hasher {
  public:
    explicit Hasher(Kind kind) : kind_(kind) {
        if (kind_ == Kind::CRC32) {
            return;
        }
        context_.reset(EVP_MD_CTX_new());
        ok_ = context_ && EVP_DigestInit_ex(context_.get(), method(kind_), nullptr) == 1;
    }

    void update(const unsigned char* data, std::size_t length) {
        if (kind_ == Kind::CRC32) {
            crc_ = crc32_z(crc_, data, length);
        } else if (ok_) {
            ok_ = EVP_DigestUpdate(context_.get(), data, length) == 1;
        }
    }

    void finish(FileDigests& into) {
        if (kind_ == Kind::CRC32) {
            into.crc32 = static_cast<std::uint32_t>(crc_);
            return;
        }
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!ok_ || EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) {
            return;
        }
        std::string text = hexText(digest, length);
        switch (kind_) {
            case Kind::MD5:
                into.md5 = std::move(text);
                break;
            case Kind::SHA1:
                into.sha1 = std::move(text);
                break;
            case Kind::SHA256:
                into.sha256 = std::move(text);
                break;
            case Kind::SHA512:
                into.sha512 = std::move(text);
                break;
            case Kind::CRC32:
                break;
        }
    }

  private:
    Kind kind_;
    std::unique_ptr<EVP_MD_CTX, ContextFree> context_;
    bool ok_ = true;
    uLong crc_ = crc32_z(0L, nullptr, 0);
};

// Opens for one sequential read; sets error and returns no descriptor when the path is not
// readable.
UniqueFd openForReading(const std::filesystem::path& path, std::string& error, off_t& size) {
    // Non-blocking so that opening a pipe cannot hang before it is turned down.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    // Hashing is not a use of the file; O_NOATIME is refused for files of other owners.
    UniqueFd fd(::open(path.c_str(), flags | O_NOATIME));
    if (!fd.valid() && errno == EPERM) {
        fd.reset(::open(path.c_str(), flags));
    }
    if (!fd.valid()) {
        error = errnoText(errno);
        return {};
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = errnoText(errno);
        return {};
    }
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? errnoText(EISDIR) : "not a regular file";
        return {};
    }
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status >= 0) {
        ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK);
    }
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    // A block device reports no size; it is worth the workers whatever it holds.
    size = S_ISBLK(st.st_mode) ? std::numeric_limits<off_t>::max() : st.st_size;
    return fd;
}

// Fills the buffer unless the file ends first; the bytes read, or -1 with errno set.
ssize_t readFull(int fd, unsigned char* buffer, std::size_t size) {
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(fd, buffer + filled, size - filled);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        filled += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(filled);
}

std::vector<Kind> kindsOf(DigestSet which) {
    std::vector<Kind> kinds;
    // The slow ones first: with fewer workers than digests, they are taken first.
    if (which.sha512) {
        kinds.push_back(Kind::SHA512);
    }
    if (which.md5) {
        kinds.push_back(Kind::MD5);
    }
    if (which.sha256) {
        kinds.push_back(Kind::SHA256);
    }
    if (which.sha1) {
        kinds.push_back(Kind::SHA1);
    }
    if (which.crc32) {
        kinds.push_back(Kind::CRC32);
    }
    return kinds;
}

constexpr char kStoppedText[] = "stopped before the end";

// Bytes read so far, told to the caller's callback.
struct ReadProgress {
    const DigestProgress* callback = nullptr;
    std::uint64_t done = 0;
    std::uint64_t total = 0;

    // False when the caller wants no more.
    bool advance(std::size_t bytes) {
        done += bytes;
        return callback == nullptr || !*callback || (*callback)(done, total);
    }
};

// Everything on the calling thread, one buffer.
std::string digestSequentially(int fd, std::vector<Hasher>& hashers, std::size_t bufferSize,
                               ReadProgress& progress) {
    std::vector<unsigned char> buffer(bufferSize);
    while (true) {
        const ssize_t got = readFull(fd, buffer.data(), buffer.size());
        if (got < 0) {
            return errnoText(errno);
        }
        if (got == 0) {
            return {};
        }
        if (!progress.advance(static_cast<std::size_t>(got))) {
            return kStoppedText;
        }
        for (Hasher& hasher : hashers) {
            hasher.update(buffer.data(), static_cast<std::size_t>(got));
        }
        if (static_cast<std::size_t>(got) < buffer.size()) {
            return {};
        }
    }
}

// The calling thread reads into a ring of buffers; workers feed every buffer, in order, to
// every digest. A worker takes whichever free digest is furthest behind, so no digest waits
// for a thread while another thread idles, and with one worker per digest each works on its
// own. A buffer is refilled once every digest is done with it.
class DigestRing {
  public:
    DigestRing(std::size_t buffers, std::size_t bufferSize, std::vector<Hasher>& hashers)
        : slots_(buffers), bufferSize_(bufferSize), hashers_(hashers), lanes_(hashers.size()) {
        for (Slot& slot : slots_) {
            slot.data = std::make_unique<unsigned char[]>(bufferSize);
        }
    }

    // Returns the read error, empty when the file was read to its end.
    std::string produce(int fd, ReadProgress& progress) {
        for (std::uint64_t sequence = 0;; ++sequence) {
            Slot& slot = slots_[sequence % slots_.size()];
            {
                std::unique_lock lock(mutex_);
                drained_.wait(lock, [&] { return slot.pending == 0; });
            }
            const ssize_t got = readFull(fd, slot.data.get(), bufferSize_);
            const int readError = errno;
            // Outside the lock: the callback is the caller's, and may take its time.
            const bool wanted = got <= 0 || progress.advance(static_cast<std::size_t>(got));
            std::lock_guard lock(mutex_);
            if (got <= 0) {
                finished_ = true;
                failed_ = got < 0;
                filled_.notify_all();
                return failed_ ? errnoText(readError) : std::string();
            }
            if (!wanted) {
                finished_ = true;
                failed_ = true;
                filled_.notify_all();
                return kStoppedText;
            }
            slot.length = static_cast<std::size_t>(got);
            slot.pending = lanes_.size();
            published_ = sequence + 1;
            // A short buffer is the end: no need to wait for a slot to learn it.
            finished_ = slot.length < bufferSize_;
            filled_.notify_all();
            if (finished_) {
                return {};
            }
        }
    }

    void work() {
        std::unique_lock lock(mutex_);
        while (!failed_) {
            Lane* lane = nullptr;
            std::size_t index = 0;
            for (std::size_t i = 0; i < lanes_.size(); ++i) {
                Lane& candidate = lanes_[i];
                if (!candidate.busy && candidate.next < published_ &&
                    (!lane || candidate.next < lane->next)) {
                    lane = &candidate;
                    index = i;
                }
            }
            if (!lane) {
                // What is left belongs to the workers busy with it.
                if (finished_) {
                    return;
                }
                filled_.wait(lock);
                continue;
            }
            lane->busy = true;
            Slot& slot = slots_[lane->next % slots_.size()];
            lock.unlock();
            hashers_[index].update(slot.data.get(), slot.length);
            lock.lock();
            lane->busy = false;
            ++lane->next;
            if (--slot.pending == 0) {
                drained_.notify_one();
            }
        }
    }

    // Releases the workers when the reading does not start.
    void abandon() {
        std::lock_guard lock(mutex_);
        finished_ = true;
        failed_ = true;
        filled_.notify_all();
    }

  private:
    struct Slot {
        std::unique_ptr<unsigned char[]> data;
        std::size_t length = 0;
        std::size_t pending = 0;
    };
    // Where one digest is in the sequence of buffers.
    struct Lane {
        std::uint64_t next = 0;
        bool busy = false;
    };

    std::vector<Slot> slots_;
    std::size_t bufferSize_;
    std::vector<Hasher>& hashers_;
    std::vector<Lane> lanes_;
    std::mutex mutex_;
    std::condition_variable filled_;
    std::condition_variable drained_;
    std::uint64_t published_ = 0;
    bool finished_ = false;
    bool failed_ = false;
};

std::size_t workerCount(const DigestReadOptions& options, std::size_t digests) {
    std::size_t workers = options.workers;
    if (workers == 0) {
        // More workers than cores would only take turns on them.
        workers = std::max<std::size_t>(std::thread::hardware_concurrency(), 1);
    }
    return std::clamp<std::size_t>(workers, 1, digests);
}

// Empty optional when the workers could not be started (the caller then reads on its own).
std::optional<std::string> digestInParallel(int fd, std::vector<Hasher>& hashers,
                                            const DigestReadOptions& options,
                                            ReadProgress& progress) {
    DigestRing ring(std::max<std::size_t>(options.ringBuffers, 2), options.bufferSize, hashers);
    const std::size_t count = workerCount(options, hashers.size());
    std::vector<std::thread> workers;
    workers.reserve(count);
    try {
        for (std::size_t i = 0; i < count; ++i) {
            workers.emplace_back([&ring] { ring.work(); });
        }
    } catch (const std::system_error&) {
        ring.abandon();
        for (std::thread& worker : workers) {
            worker.join();
        }
        return std::nullopt;
    }
    std::string error = ring.produce(fd, progress);
    for (std::thread& worker : workers) {
        worker.join();
    }
    return error;
}

}  // namespace

int DigestSet::count() const {
    return int{md5} + int{sha1} + int{sha256} + int{sha512} + int{crc32};
}

FileDigests fileDigests(const std::filesystem::path& path, DigestSet which,
                        const DigestReadOptions& options, const DigestProgress& progressCallback) {
    FileDigests result;
    off_t size = 0;
    const UniqueFd file = openForReading(path, result.error, size);
    if (!file.valid()) {
        return result;
    }
    const int fd = file.get();
    if (which.empty()) {
        return result;
    }

    std::vector<Hasher> hashers;
    for (const Kind kind : kindsOf(which)) {
        hashers.emplace_back(kind);
    }
    const std::size_t bufferSize = std::max<std::size_t>(options.bufferSize, 1);
    DigestReadOptions used = options;
    used.bufferSize = bufferSize;
    const bool parallel = options.threads == DigestReadOptions::Threads::Always ||
                          (options.threads == DigestReadOptions::Threads::Automatic &&
                           static_cast<std::uint64_t>(size) > bufferSize);

    ReadProgress progress{
        &progressCallback, 0,
        size == std::numeric_limits<off_t>::max() ? 0 : static_cast<std::uint64_t>(size)};
    std::optional<std::string> error;
    if (parallel) {
        // Nothing has been read when the workers could not start.
        error = digestInParallel(fd, hashers, used, progress);
    }
    if (!error) {
        error = digestSequentially(fd, hashers, bufferSize, progress);
    }
    if (!error->empty()) {
        result.stopped = *error == kStoppedText;
        result.error = std::move(*error);
        return result;
    }
    for (Hasher& hasher : hashers) {
        hasher.finish(result);
    }
    return result;
}

std::optional<std::string> md5HashOfFile(const std::filesystem::path& path) {
    DigestSet which;
    which.md5 = true;
    return fileDigests(path, which).md5;
}

std::optional<std::string> sha1HashOfFile(const std::filesystem::path& path) {
    DigestSet which;
    which.sha1 = true;
    return fileDigests(path, which).sha1;
}

std::optional<std::string> sha256HashOfFile(const std::filesystem::path& path) {
    DigestSet which;
    which.sha256 = true;
    return fileDigests(path, which).sha256;
}

std::optional<std::string> sha512HashOfFile(const std::filesystem::path& path) {
    DigestSet which;
    which.sha512 = true;
    return fileDigests(path, which).sha512;
}

std::string crc32HashOfFile(const std::filesystem::path& path) {
    DigestSet which;
    which.crc32 = true;
    return crc32DecimalText(fileDigests(path, which).crc32);
}

std::string crc32DecimalText(std::uint32_t crc) {
    return std::to_string(crc);
}

std::string crc32HexadecimalText(std::string_view decimal) {
    unsigned long long value = 0;
    const char* end = decimal.data() + decimal.size();
    const auto [stop, failure] = std::from_chars(decimal.data(), end, value, 10);
    if (decimal.empty() || failure != std::errc() || stop != end) {
        return {};
    }
    char text[17];
    const auto written = std::to_chars(text, text + sizeof text, value, 16);
    return std::string(text, written.ptr);
}

std::string hexText(const unsigned char* bytes, std::size_t length) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace tf

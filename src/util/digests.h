// Digests of a file's contents: MD5, SHA-1, SHA-256, SHA-512 and CRC-32, computed while the
// file streams through a few large buffers, so files of any size take the same memory.
// Several digests of one file are computed in one read of it: worker threads (one per digest,
// or one per core when there are fewer cores) work over a small ring of shared buffers, so
// the time is about that of the slowest digest, or the total shared out among the cores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tf {

struct DigestSet {
    bool md5 = false;
    bool sha1 = false;
    bool sha256 = false;
    bool sha512 = false;
    bool crc32 = false;

    static DigestSet all() { return {true, true, true, true, true}; }
    bool empty() const { return !(md5 || sha1 || sha256 || sha512 || crc32); }
    int count() const;
};

inline constexpr std::size_t kDigestBufferSize = std::size_t{1} << 20;

struct DigestReadOptions {
    enum class Threads {
        // Worker threads only for files larger than one buffer.
        Automatic,
        // Everything on the calling thread.
        Never,
        // Worker threads whatever the size.
        Always,
    };
    std::size_t bufferSize = kDigestBufferSize;
    // Buffers in the ring shared by the worker threads (at least 2).
    std::size_t ringBuffers = 4;
    Threads threads = Threads::Automatic;
    // Worker threads, at most one per digest; 0 means one per core.
    std::size_t workers = 0;
};

// Called on the reading thread after every buffer with the bytes read so far and the file's
// size (0 when unknown, as for a block device). Returning false stops the reading: a window
// nobody looks at any more should not keep a disk busy.
using DigestProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

struct FileDigests {
    // Lower-case hexadecimal; set only for the requested digests of a file read to its end.
    std::optional<std::string> md5;
    std::optional<std::string> sha1;
    std::optional<std::string> sha256;
    std::optional<std::string> sha512;
    // 0 when not requested or when the file could not be read.
    std::uint32_t crc32 = 0;
    // Why the file could not be read; empty when it was.
    std::string error;
    // The progress callback asked to stop; `error` says so too.
    bool stopped = false;

    bool readable() const { return error.empty(); }
};

// Reads the file once for all requested digests. Only regular files and block devices are
// read: a pipe or a character device could block or never end.
FileDigests fileDigests(const std::filesystem::path& path, DigestSet which,
                        const DigestReadOptions& options = {}, const DigestProgress& progress = {});

// One digest each; none when the file cannot be read.
std::optional<std::string> md5HashOfFile(const std::filesystem::path& path);
std::optional<std::string> sha1HashOfFile(const std::filesystem::path& path);
std::optional<std::string> sha256HashOfFile(const std::filesystem::path& path);
std::optional<std::string> sha512HashOfFile(const std::filesystem::path& path);
// The CRC-32 (ISO-HDLC, as in zip and PNG) in decimal; "0" when the file cannot be read.
std::string crc32HashOfFile(const std::filesystem::path& path);

// "%u" of the value.
std::string crc32DecimalText(std::uint32_t crc);
// The decimal text read back as a 64-bit number, in lower-case hexadecimal without leading
// zeros ("0" for "0"); empty when the text is not a decimal number.
std::string crc32HexadecimalText(std::string_view decimal);

// Two lower-case hexadecimal digits per byte, in byte order.
std::string hexText(const unsigned char* bytes, std::size_t length);

}  // namespace tf

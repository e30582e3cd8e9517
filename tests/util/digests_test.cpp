#include "util/digests.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <random>
#include <thread>

#include "support/sandbox.h"

namespace tf {
namespace {

using test::TempDir;
using Threads = DigestReadOptions::Threads;

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

// Digests of data held in memory, computed without the file reader.
std::string referenceDigest(const EVP_MD* md, const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(data.data(), data.size(), digest, &length, md, nullptr), 1);
    return hexText(digest, length);
}

std::uint32_t referenceCRC(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32_z(0L, reinterpret_cast<const unsigned char*>(data.data()), data.size()));
}

void expectAllMatch(const FileDigests& got, const std::string& data) {
    EXPECT_TRUE(got.readable()) << got.error;
    EXPECT_EQ(got.md5, referenceDigest(EVP_md5(), data));
    EXPECT_EQ(got.sha1, referenceDigest(EVP_sha1(), data));
    EXPECT_EQ(got.sha256, referenceDigest(EVP_sha256(), data));
    EXPECT_EQ(got.sha512, referenceDigest(EVP_sha512(), data));
    EXPECT_EQ(got.crc32, referenceCRC(data));
}

TEST(Digests, KnownVectorsOfAbc) {
    TempDir dir;
    const auto abc = dir.write("abc", "abc");
    EXPECT_EQ(md5HashOfFile(abc), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(sha1HashOfFile(abc), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha256HashOfFile(abc),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha512HashOfFile(abc),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    EXPECT_EQ(crc32HashOfFile(abc), "891568578");
    EXPECT_EQ(crc32HexadecimalText(crc32HashOfFile(abc)), "352441c2");
}

TEST(Digests, EmptyFile) {
    TempDir dir;
    const auto empty = dir.write("empty");
    EXPECT_EQ(md5HashOfFile(empty), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(sha1HashOfFile(empty), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(crc32HashOfFile(empty), "0");
    EXPECT_EQ(crc32HexadecimalText("0"), "0");
}

TEST(Digests, CRCTexts) {
    EXPECT_EQ(crc32DecimalText(0xFFFFFFFFu), "4294967295");
    EXPECT_EQ(crc32HexadecimalText("4294967295"), "ffffffff");
    // No leading zeros.
    EXPECT_EQ(crc32HexadecimalText("255"), "ff");
    EXPECT_EQ(crc32HexadecimalText(""), "");
    EXPECT_EQ(crc32HexadecimalText("12ab"), "");
    EXPECT_EQ(crc32HexadecimalText("-1"), "");
}

TEST(Digests, UnreadablePathsGiveNoDigestAndAZeroCRC) {
    TempDir dir;
    const auto missing = dir.path() / "missing";
    const auto folder = dir.mkdir("folder");
    for (const auto& path : {missing, folder}) {
        EXPECT_EQ(md5HashOfFile(path), std::nullopt) << path;
        EXPECT_EQ(sha512HashOfFile(path), std::nullopt) << path;
        EXPECT_EQ(crc32HashOfFile(path), "0") << path;
        const FileDigests all = fileDigests(path, DigestSet::all());
        EXPECT_FALSE(all.readable());
        EXPECT_FALSE(all.md5 || all.sha1 || all.sha256 || all.sha512);
        EXPECT_EQ(all.crc32, 0u);
    }
    EXPECT_NE(fileDigests(missing, DigestSet::all()).error.find("No such file"), std::string::npos);
}

TEST(Digests, OnlyTheRequestedDigestsAreComputed) {
    TempDir dir;
    DigestSet which;
    which.sha256 = true;
    which.crc32 = true;
    const FileDigests got = fileDigests(dir.write("abc", "abc"), which);
    EXPECT_FALSE(got.md5 || got.sha1 || got.sha512);
    EXPECT_TRUE(got.sha256);
    EXPECT_EQ(got.crc32, 891568578u);
}

// Sizes around the buffer edges, each read both on the calling thread and through the ring
// of worker threads (with small buffers, so a few kilobytes span many of them).
TEST(Digests, OnePassMatchesWholeDataDigestsAtBufferEdges) {
    TempDir dir;
    constexpr std::size_t kBuffer = 4096;
    unsigned seed = 1;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, kBuffer - 1, kBuffer,
                                   kBuffer + 1, 3 * kBuffer, 37 * kBuffer + 123}) {
        const std::string data = randomBytes(size, seed++);
        const auto path = dir.write("data" + std::to_string(size), data);
        expectAllMatch(fileDigests(path, DigestSet::all(), {kBuffer, 2, Threads::Never}), data);
        for (const Threads threads : {Threads::Always, Threads::Automatic}) {
            for (const std::size_t ring : {std::size_t{2}, std::size_t{5}}) {
                for (const std::size_t workers : {0, 1, 2, 5, 9}) {
                    SCOPED_TRACE("size " + std::to_string(size) + ", threads " +
                                 std::to_string(static_cast<int>(threads)) + ", ring " +
                                 std::to_string(ring) + ", workers " + std::to_string(workers));
                    expectAllMatch(
                        fileDigests(path, DigestSet::all(), {kBuffer, ring, threads, workers}),
                        data);
                }
            }
        }
    }
}

TEST(Digests, ProgressCountsEveryBufferAndCanStopTheReading) {
    TempDir dir;
    constexpr std::size_t kBuffer = 4096;
    const std::string data = randomBytes(10 * kBuffer + 7, 42);
    const auto path = dir.write("data", data);
    for (const Threads threads : {Threads::Never, Threads::Always}) {
        SCOPED_TRACE(threads == Threads::Never ? "one thread" : "workers");
        const DigestReadOptions options{kBuffer, 3, threads, 0};
        std::vector<std::uint64_t> seen;
        const auto count = [&](std::uint64_t done, std::uint64_t total) {
            EXPECT_EQ(total, data.size());
            seen.push_back(done);
            return true;
        };
        expectAllMatch(fileDigests(path, DigestSet::all(), options, count), data);
        ASSERT_EQ(seen.size(), 11u);
        EXPECT_EQ(seen.front(), kBuffer);
        EXPECT_EQ(seen.back(), data.size());

        // Stopped after the third buffer: nothing more is read and no digest is given.
        int calls = 0;
        const FileDigests stopped =
            fileDigests(path, DigestSet::all(), options,
                        [&](std::uint64_t, std::uint64_t) { return ++calls < 3; });
        EXPECT_EQ(calls, 3);
        EXPECT_TRUE(stopped.stopped);
        EXPECT_FALSE(stopped.readable());
        EXPECT_FALSE(stopped.md5 || stopped.sha1 || stopped.sha256 || stopped.sha512);
    }
    // A file read to its end is not a stopped one.
    EXPECT_FALSE(fileDigests(path, DigestSet::all()).stopped);
}

TEST(Digests, ASingleDigestThroughTheWorkersMatches) {
    TempDir dir;
    const std::string data = randomBytes(10000, 3);
    const auto path = dir.write("data", data);
    DigestSet which;
    which.sha1 = true;
    const FileDigests got = fileDigests(path, which, {1024, 2, Threads::Always, 0});
    EXPECT_EQ(got.sha1, referenceDigest(EVP_sha1(), data));
    EXPECT_FALSE(got.md5 || got.sha256 || got.sha512);
    EXPECT_EQ(got.crc32, 0u);
}

TEST(Digests, OnePassEqualsSingleDigestsWithFullSizeBuffers) {
    TempDir dir;
    for (const std::size_t size :
         {kDigestBufferSize, kDigestBufferSize + 1, 5 * kDigestBufferSize + 4093}) {
        const std::string data = randomBytes(size, static_cast<unsigned>(size));
        const auto path = dir.write("big", data);
        const FileDigests all = fileDigests(path, DigestSet::all());
        expectAllMatch(all, data);
        EXPECT_EQ(all.md5, md5HashOfFile(path));
        EXPECT_EQ(all.sha1, sha1HashOfFile(path));
        EXPECT_EQ(all.sha256, sha256HashOfFile(path));
        EXPECT_EQ(all.sha512, sha512HashOfFile(path));
        EXPECT_EQ(crc32DecimalText(all.crc32), crc32HashOfFile(path));
    }
}

TEST(Digests, ManyFilesAtOnceDoNotInterfere) {
    TempDir dir;
    const std::string data = randomBytes(200000, 7);
    const auto path = dir.write("shared", data);
    const std::string expected = referenceDigest(EVP_sha256(), data);
    std::vector<std::thread> callers;
    std::vector<std::optional<std::string>> results(4);
    for (std::size_t i = 0; i < results.size(); ++i) {
        callers.emplace_back([&, i] {
            DigestSet which = DigestSet::all();
            results[i] = fileDigests(path, which, {1000, 3, Threads::Always, 2}).sha256;
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    for (const auto& result : results) {
        EXPECT_EQ(result, expected);
    }
}

}  // namespace
}  // namespace tf

// Reader for the binary property-list encoding: a table of objects that refer to each other by
// index. A crafted file can make a few hundred bytes stand for billions of values (each level
// referring twice to the next) or refer to itself, so the reader follows references only
// along a path without cycles, charges every value it builds against a budget proportional to
// the file, and checks every count against the bytes that would have to hold it.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/plist_formats.h"

namespace tf::plist {

namespace {

constexpr std::size_t kTrailerSize = 32;
constexpr std::size_t kHeaderSize = 8;

struct Refused {};

class BinaryReader {
  public:
    explicit BinaryReader(std::string_view bytes) : bytes_(bytes) {}

    std::optional<Value> document() {
        try {
            readTrailer();
            return object(topObject_, 0);
        } catch (const Refused&) {
            return std::nullopt;
        }
    }

  private:
    static void require(bool condition) {
        if (!condition) {
            throw Refused{};
        }
    }

    // Big-endian unsigned integer of `width` bytes (1..8) at `at`, inside `limit`.
    std::uint64_t readUnsigned(std::size_t at, std::size_t width, std::size_t limit) const {
        require(width >= 1 && width <= 8 && at <= limit && width <= limit - at);
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            value = (value << 8) | static_cast<std::uint8_t>(bytes_[at + i]);
        }
        return value;
    }

    void readTrailer() {
        require(bytes_.size() >= kHeaderSize + kTrailerSize && bytes_.substr(0, 8) == "bplist00");
        const std::size_t trailer = bytes_.size() - kTrailerSize;
        offsetSize_ = static_cast<std::uint8_t>(bytes_[trailer + 6]);
        refSize_ = static_cast<std::uint8_t>(bytes_[trailer + 7]);
        const std::uint64_t count = readUnsigned(trailer + 8, 8, bytes_.size());
        const std::uint64_t top = readUnsigned(trailer + 16, 8, bytes_.size());
        const std::uint64_t table = readUnsigned(trailer + 24, 8, bytes_.size());
        require(offsetSize_ >= 1 && offsetSize_ <= 8 && refSize_ >= 1 && refSize_ <= 8);
        // The offset table must fit between the objects and the trailer; this bounds the
        // object count by the file size before anything is allocated for it.
        require(table >= kHeaderSize && table <= trailer && count >= 1 && top < count);
        require(count <= (trailer - table) / offsetSize_);
        objectCount_ = static_cast<std::size_t>(count);
        topObject_ = static_cast<std::size_t>(top);
        tableOffset_ = static_cast<std::size_t>(table);
        onPath_.assign(objectCount_, false);
        valuesLeft_ = 8 * static_cast<std::uint64_t>(objectCount_) + 10000;
        bytesLeft_ = 8 * static_cast<std::uint64_t>(bytes_.size()) + (1U << 20);
    }

    void charge(std::uint64_t payload) {
        require(valuesLeft_ > 0 && payload <= bytesLeft_);
        --valuesLeft_;
        bytesLeft_ -= payload;
    }

    std::size_t offsetOf(std::size_t index) const {
        const std::uint64_t at =
            readUnsigned(tableOffset_ + index * offsetSize_, offsetSize_, bytes_.size());
        require(at >= kHeaderSize && at < tableOffset_);
        return static_cast<std::size_t>(at);
    }

    // The element count after a marker: its low nibble, or an integer object after it.
    // `at` moves past the marker and any count object.
    std::uint64_t length(std::uint8_t marker, std::size_t& at) const {
        ++at;
        if ((marker & 0x0F) != 0x0F) {
            return marker & 0x0F;
        }
        require(at < tableOffset_);
        const auto countMarker = static_cast<std::uint8_t>(bytes_[at]);
        require((countMarker & 0xF0) == 0x10 && (countMarker & 0x0F) <= 3);
        const std::size_t width = std::size_t{1} << (countMarker & 0x0F);
        const std::uint64_t n = readUnsigned(at + 1, width, tableOffset_);
        at += 1 + width;
        return n;
    }

    // Checks that `count` items of `unit` bytes fit between `at` and the offset table.
    void requireRoom(std::size_t at, std::uint64_t count, std::size_t unit) const {
        require(at <= tableOffset_ && count <= (tableOffset_ - at) / unit);
    }

    Value object(std::size_t index, int depth) {
        require(depth <= kMaxNesting && index < objectCount_ && !onPath_[index]);
        std::size_t at = offsetOf(index);
        const auto marker = static_cast<std::uint8_t>(bytes_[at]);
        const unsigned low = marker & 0x0F;
        switch (marker >> 4) {
            case 0x0:
                charge(0);
                require(marker == 0x00 || marker == 0x08 || marker == 0x09);
                return marker == 0x00 ? Value() : Value(marker == 0x09);
            case 0x1: {
                // 16-byte integers keep their low 64 bits.
                require(low <= 4);
                const std::size_t width = std::size_t{1} << low;
                charge(0);
                return Value(static_cast<std::int64_t>(
                    readUnsigned(at + 1 + width - std::min<std::size_t>(width, 8),
                                 std::min<std::size_t>(width, 8), tableOffset_)));
            }
            case 0x2:
                charge(0);
                return Value(realAt(at + 1, low));
            case 0x3:
                require(marker == 0x33);
                charge(0);
                return Value(Date{kEpochOffset + realAt(at + 1, 3)});
            case 0x4: {
                const std::uint64_t n = length(marker, at);
                requireRoom(at, n, 1);
                charge(n);
                const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes_.data() + at);
                return Value(Data(begin, begin + n));
            }
            case 0x5:
            case 0x7: {
                // ASCII, or UTF-8 as some writers store it: the bytes are the text.
                const std::uint64_t n = length(marker, at);
                requireRoom(at, n, 1);
                charge(n);
                return Value(std::string(bytes_.substr(at, n)));
            }
            case 0x6: {
                const std::uint64_t n = length(marker, at);
                requireRoom(at, n, 2);
                charge(3 * n);
                return Value(utf16(at, static_cast<std::size_t>(n)));
            }
            case 0x8:
                charge(0);
                return Value(
                    static_cast<std::int64_t>(readUnsigned(at + 1, low + 1, tableOffset_)));
            case 0xA: {
                const std::uint64_t n = length(marker, at);
                requireRoom(at, n, refSize_);
                charge(0);
                onPath_[index] = true;
                Array array;
                array.reserve(static_cast<std::size_t>(n));
                for (std::uint64_t i = 0; i < n; ++i) {
                    array.push_back(object(refAt(at, i), depth + 1));
                }
                onPath_[index] = false;
                return Value(std::move(array));
            }
            case 0xD: {
                const std::uint64_t n = length(marker, at);
                requireRoom(at, n, 2 * std::size_t{refSize_});
                charge(0);
                onPath_[index] = true;
                Dict dict;
                for (std::uint64_t i = 0; i < n; ++i) {
                    Value key = object(refAt(at, i), depth + 1);
                    require(key.string() != nullptr);
                    dict.insert_or_assign(std::move(*key.string()),
                                          object(refAt(at, n + i), depth + 1));
                }
                onPath_[index] = false;
                return Value(std::move(dict));
            }
            default:
                throw Refused{};
        }
    }

    std::size_t refAt(std::size_t at, std::uint64_t i) const {
        return static_cast<std::size_t>(
            readUnsigned(at + static_cast<std::size_t>(i) * refSize_, refSize_, tableOffset_));
    }

    double realAt(std::size_t at, unsigned sizeLog2) const {
        if (sizeLog2 == 2) {
            const auto bits = static_cast<std::uint32_t>(readUnsigned(at, 4, tableOffset_));
            float f = 0;
            std::memcpy(&f, &bits, sizeof f);
            return f;
        }
        require(sizeLog2 == 3);
        const std::uint64_t bits = readUnsigned(at, 8, tableOffset_);
        double d = 0;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }

    // UTF-16 big-endian to UTF-8; an unpaired surrogate becomes U+FFFD.
    std::string utf16(std::size_t at, std::size_t units) const {
        std::string out;
        out.reserve(units);
        for (std::size_t i = 0; i < units; ++i) {
            std::uint32_t code =
                static_cast<std::uint32_t>(readUnsigned(at + 2 * i, 2, tableOffset_));
            if (code >= 0xD800 && code < 0xDC00 && i + 1 < units) {
                const auto low =
                    static_cast<std::uint32_t>(readUnsigned(at + 2 * i + 2, 2, tableOffset_));
                if (low >= 0xDC00 && low < 0xE000) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
            if (code >= 0xD800 && code < 0xE000) {
                code = 0xFFFD;
            }
            appendUtf8(out, code);
        }
        return out;
    }

    std::string_view bytes_;
    std::uint8_t offsetSize_ = 0;
    std::uint8_t refSize_ = 0;
    std::size_t objectCount_ = 0;
    std::size_t topObject_ = 0;
    std::size_t tableOffset_ = 0;
    std::vector<bool> onPath_;
    std::uint64_t valuesLeft_ = 0;
    std::uint64_t bytesLeft_ = 0;
};

}  // namespace

std::optional<Value> parseBinary(std::string_view bytes) {
    return BinaryReader(bytes).document();
}

}  // namespace tf::plist

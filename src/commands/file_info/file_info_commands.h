// File information: the digests of one file, shown in an alert per digest, or all together in
// the file information window (an alert where there is none).
#pragma once

#include <string>

namespace tf {

// What the file information window shows, one text per field.
struct FileInfoTexts {
    // Empty when the file could not be read.
    std::string md5;
    std::string sha1;
    std::string sha256;
    std::string sha512;
    // "0" and "0" when the file could not be read.
    std::string crc32Decimal;
    std::string crc32Hexadecimal;
    bool readable = false;
};

// All five digests in one read of the file. Slow for large files: call it off the main queue.
FileInfoTexts fileInfoTexts(const std::string& path);

// The lines "MD5: ...", "SHA1: ...", "SHA256: ...", "SHA512: ..." and
// "CRC32: <decimal> (<hexadecimal>)".
std::string fileInfoSummary(const FileInfoTexts& texts);

}  // namespace tf

#include "util/file_hash.h"

#include "util/digests.h"

namespace tf {

std::string fileMD5(const std::filesystem::path& path) {
    return md5HashOfFile(path).value_or(std::string());
}

}  // namespace tf

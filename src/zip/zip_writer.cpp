// Writer half of the zip facade and the compression run.
#include "zip/ss_zip_archive.h"

#include <algorithm>
#include <cctype>

namespace tf {

bool isUsableZipPassword(const std::string& password) {
    const bool blank = std::all_of(password.begin(), password.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) != 0;
    });
    return !blank && password != "(null)";
}

std::vector<std::string> junkFileNames() {
    return {".DS_Store", "_MACOSX", "__MACOSX"};
}

}  // namespace tf

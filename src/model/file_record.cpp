#include "model/file_record.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <system_error>

#include "fs/file_access.h"
#include "model/menu_manager.h"
#include "util/file_hash.h"
#include "util/path_text.h"
#include "util/resources.h"
#include "util/size_text.h"
#include "util/text.h"

namespace tf {

namespace {

bool extIn(const std::string& ext, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), ext) != list.end();
}

std::string formatLocal(std::time_t seconds) {
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

RCFile::RCFile(std::string path) : path_(std::move(path)) {}

std::shared_ptr<RCFile> RCFile::fileWithPath(std::string path) {
    return std::make_shared<RCFile>(std::move(path));
}

std::string RCFile::name() const {
    return lastPathComponent(deletingPathExtension(path_));
}

std::string RCFile::simpleName() const {
    std::string name = filename();
    while (!pathExtension(name).empty()) {
        name = deletingPathExtension(name);
    }
    return name;
}

std::string RCFile::folder() const {
    return deletingLastPathComponent(path_);
}

std::string RCFile::filename() const {
    return lastPathComponent(path_);
}

std::string RCFile::ext() const {
    return toLower(pathExtension(path_));
}

std::string RCFile::url() const {
    return fileURL(path_);
}

std::string RCFile::size() const {
    return fileSizeWithValue(static_cast<double>(fileSize(path_)));
}

ImageRef RCFile::icon() const {
    const std::string name = typeImageName(path_);
    return ImageRef::resource(name == "file" ? "icon" : name);
}

std::string RCFile::createDate() const {
    if (!isWritablePath(path_)) {
        return {};
    }
    struct statx sx {};
    if (::statx(AT_FDCWD, path_.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) != 0) {
        return {};
    }
    // File systems without a birth time give the modification time, the closest they keep.
    const auto seconds =
        (sx.stx_mask & STATX_BTIME) != 0 ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
    return formatLocal(static_cast<std::time_t>(seconds));
}

std::string RCFile::modifyDate() const {
    if (!isWritablePath(path_)) {
        return {};
    }
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        return {};
    }
    return formatLocal(st.st_mtim.tv_sec);
}

bool RCFile::isFolder() const {
    struct stat st {};
    return ::lstat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RCFile::isHideFile() const {
    const std::string name = filename();
    return !name.empty() && name[0] == '.';
}

bool RCFile::isImage() const {
    return extIn(ext(), {"png", "tiff", "jp2", "jpg", "jpeg", "gif", "bmp"});
}

bool RCFile::isKindle() const {
    return extIn(ext(), {"mobi", "azw3", "prc", "tpz", "azw", "azw4", "azs", "azl"});
}

bool RCFile::isTnef() const {
    return extIn(ext(), {"dat", "tnef"});
}

bool RCFile::isCHM() const {
    return ext() == "chm";
}

bool RCFile::isDesktop() const {
    const std::string desktop = xdgUserDir("DESKTOP");
    return !desktop.empty() && path_ == desktop;
}

const std::vector<std::shared_ptr<RCFile>>& RCFile::children() {
    if (children_) {
        return *children_;
    }
    children_.emplace();
    const auto names = listFolder(path_);
    if (!names) {
        return *children_;
    }
    const std::string prefix = path_ == "/" ? "/" : path_ + "/";
    for (const std::string& name : *names) {
        auto child = fileWithPath(prefix + name);
        if (child->isHideFile()) {
            continue;
        }
        child->parent_ = weak_from_this();
        children_->push_back(std::move(child));
    }
    return *children_;
}

const std::string& RCFile::tempPath() {
    if (tempPath_) {
        return *tempPath_;
    }
    struct stat st {};
    std::string id;
    if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        id = fileMD5(path_);
    }
    if (id.empty()) {
        id = name();
    }
    const auto& paths = RCMenuManager::sharedInstance().paths();
    const auto folder =
        paths.cacheFolder / std::string(deliverableName(runningDeliverable())) / ("." + id);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder, ec);
    tempPath_ = folder.string();
    return *tempPath_;
}

void RCFile::removeTempPath() {
    if (!tempPath_) {
        return;
    }
    std::error_code ec;
    std::filesystem::remove_all(*tempPath_, ec);
    tempPath_.reset();
}

std::string fileURL(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            url += c;
        } else {
            url += '%';
            url += kHex[u >> 4];
            url += kHex[u & 0xf];
        }
    }
    return url;
}

}  // namespace tf

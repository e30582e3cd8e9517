// RCFile: how both programs look at one file-system item: name parts, extension, size
// text, dates, type tests and (for folders) the visible children. Everything is computed
// from the path when asked, except the children and the temporary folder, which are kept.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/menu_item.h"

namespace tf {

class RCFile : public std::enable_shared_from_this<RCFile> {
  public:
    explicit RCFile(std::string path);
    static std::shared_ptr<RCFile> fileWithPath(std::string path);

    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }
    // Set on the records made by children(); empty otherwise.
    std::shared_ptr<RCFile> parent() const { return parent_.lock(); }

    // Last component without its last extension (a.tar.gz -> a.tar).
    std::string name() const;
    // Last component without any extension (a.tar.gz -> a).
    std::string simpleName() const;
    std::string folder() const;
    std::string filename() const;
    std::string ext() const;
    std::string url() const;
    std::string size() const;
    ImageRef icon() const;
    // "yyyy-MM-dd HH:mm:ss" in local time, or empty when this process may not write the path.
    std::string createDate() const;
    std::string modifyDate() const;

    bool isFolder() const;
    bool isHideFile() const;
    bool isImage() const;
    bool isKindle() const;
    bool isTnef() const;
    bool isCHM() const;
    bool isDesktop() const;

    // Visible direct children, listed once and kept.
    const std::vector<std::shared_ptr<RCFile>>& children();
    // A fresh private temporary folder for this item, made once and kept.
    const std::string& tempPath();
    void removeTempPath();

  private:
    std::string path_;
    std::weak_ptr<RCFile> parent_;
    std::optional<std::string> tempPath_;
    std::optional<std::vector<std::shared_ptr<RCFile>>> children_;
};

// A file URL with every byte outside the unreserved set percent-encoded.
std::string fileURL(const std::string& path);

}  // namespace tf

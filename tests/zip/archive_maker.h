// Writes small zip archives for tests with libarchive directly: exact times, permissions,
// links, and either kind of encryption.
#pragma once

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tf::test {

// One entry for the libarchive-written archives.
struct Item {
    Item(std::string name_, std::string data_ = {}, unsigned type_ = AE_IFREG,
         unsigned perm_ = 0644, time_t mtime_ = 1'600'000'000, std::string link_ = {})
        : name(std::move(name_)),
          data(std::move(data_)),
          type(type_),
          perm(perm_),
          mtime(mtime_),
          link(std::move(link_)) {}
    std::string name;
    std::string data;
    unsigned type;
    unsigned perm;
    time_t mtime;
    std::string link;
};

enum class Crypt { kNone, kAes, kZipCrypto };

inline void writeArchive(const std::filesystem::path& out, const std::vector<Item>& items,
                         Crypt crypt = Crypt::kNone, const std::string& password = "secret") {
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    if (crypt != Crypt::kNone) {
        archive_write_set_format_option(a, "zip", "encryption",
                                        crypt == Crypt::kAes ? "aes256" : "zipcrypt");
        archive_write_set_passphrase(a, password.c_str());
    }
    ASSERT_EQ(archive_write_open_filename(a, out.c_str()), ARCHIVE_OK);
    for (const Item& item : items) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, item.name.c_str());
        archive_entry_set_filetype(e, item.type);
        archive_entry_set_perm(e, item.perm);
        archive_entry_set_mtime(e, item.mtime, 0);
        archive_entry_set_size(e, static_cast<la_int64_t>(item.data.size()));
        if (item.type == AE_IFLNK) {
            archive_entry_set_symlink(e, item.link.c_str());
        }
        ASSERT_EQ(archive_write_header(a, e), ARCHIVE_OK) << item.name;
        if (!item.data.empty()) {
            archive_write_data(a, item.data.data(), item.data.size());
        }
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

}  // namespace tf::test

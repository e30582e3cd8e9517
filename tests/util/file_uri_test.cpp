#include "util/file_uri.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace tf {
namespace {

using namespace std::string_view_literals;

struct Decoded {
    std::string_view uri;
    std::string_view path;
};

TEST(FileUri, LocalUrisDecodeToTheExactBytes) {
    const Decoded cases[] = {
        {"file:///", "/"},
        {"file:///tmp/a%20b.txt", "/tmp/a b.txt"},
        {"file://localhost/tmp/x", "/tmp/x"},
        {"FILE://LocalHost/tmp/x", "/tmp/x"},
        {"file:///tmp/%C3%A9t%C3%A9", "/tmp/\xc3\xa9t\xc3\xa9"},
        {"file:///tmp/raw%FFname", "/tmp/raw\xffname"},
        {"file:///tmp/%e9", "/tmp/\xe9"},
        {"file:///tmp/100%25", "/tmp/100%"},
        {"file:///tmp/%2541", "/tmp/%41"},
        {"file:///tmp/line%0Abreak", "/tmp/line\nbreak"},
        {"file:///tmp/a%23b%3Fc", "/tmp/a#b?c"},
        {"file:///tmp/raw space/\xc3\xa9", "/tmp/raw space/\xc3\xa9"},
        {"file:///tmp/x;touch PWNED;.txt", "/tmp/x;touch PWNED;.txt"},
        {"file:////double", "//double"},
    };
    for (const Decoded& c : cases) {
        std::string error;
        EXPECT_EQ(localPathFromUri(c.uri, &error), std::string(c.path)) << c.uri;
        EXPECT_EQ(error, "") << c.uri;
    }
}

TEST(FileUri, PathsBecomeUrisThatDecodeBackToTheSameBytes) {
    EXPECT_EQ(fileUriFromPath("/home/me/a b/ü#?%.txt"),
              "file:///home/me/a%20b/%C3%BC%23%3F%25.txt");
    for (const std::string& path :
         {std::string("/"), std::string("/tmp/\xff\xfe name"), std::string("/x/%41;[]{}\n\t'\"")}) {
        EXPECT_EQ(localPathFromUri(fileUriFromPath(path)), path) << path;
    }
}

TEST(FileUri, AnythingElseIsRefusedWithAReason) {
    const std::string_view refused[] = {
        "", "/tmp/plain", "tmp/relative", "file:relative", "file:/tmp/x", "file:", "file://",
        "file://localhost", "file://host/tmp/x", "file://localhost.example/tmp/x", "trash:///x",
        "sftp://host/x", "smb://server/share", "http://x/y", "files:///x",
        // An escaped NUL would cut the name: /d/important%00.txt must not become /d/important.
        "file:///d/important%00.txt", "file:///d/%00", "file:///d/x\0y"sv, "file:///d/tab\there",
        "file:///d/del\x7f", "file:///d/100%", "file:///d/100%2", "file:///d/%zz", "file:///d/%-1",
        "file:///d/%+a", "file:///d/important?x.txt", "file:///d/important#x.txt"};
    for (std::string_view uri : refused) {
        std::string error;
        EXPECT_EQ(localPathFromUri(uri, &error), std::nullopt) << uri;
        EXPECT_NE(error, "") << uri;
        EXPECT_EQ(localPathFromUri(uri), std::nullopt) << uri;
    }
}

TEST(FileUri, PlainPathsMustBeNonEmptyAndFreeOfNul) {
    std::string error;
    EXPECT_TRUE(isUsablePlainPath("relative/x", &error));
    EXPECT_TRUE(isUsablePlainPath("/tmp/%00 stays text", &error));
    EXPECT_EQ(error, "");
    EXPECT_FALSE(isUsablePlainPath("", &error));
    EXPECT_NE(error, "");
    error.clear();
    EXPECT_FALSE(isUsablePlainPath("/d/important\0.txt"sv, &error));
    EXPECT_NE(error, "");
    EXPECT_FALSE(isUsablePlainPath("\0"sv));
}

}  // namespace
}  // namespace tf

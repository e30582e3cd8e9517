#include "util/log.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace tf {
namespace {

TEST(LogWarning, WritesOneLinePrefixedWithTheProgramName) {
    ::testing::internal::CaptureStderr();
    logWarning("settings damaged:\nline two");
    std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(written,
              std::string(program_invocation_short_name) + ": settings damaged: line two\n");
}

}  // namespace
}  // namespace tf

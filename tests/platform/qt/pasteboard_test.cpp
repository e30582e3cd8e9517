#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include "platform/qt/qt_pasteboard.h"
#include "support/sandbox.h"

namespace tf {
namespace {

TEST(Clipboard, CopiedTextReachesTheClipboardTrimmed) {
    QtPasteboard pasteboard;
    EXPECT_TRUE(copyToPasteboard(pasteboard, "  a b/ü.txt \n"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("a b/ü.txt"));

    EXPECT_TRUE(pasteboard.setString("line one\nline two"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "line one\nline two");

    pasteboard.clearContents();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
}

}  // namespace
}  // namespace tf

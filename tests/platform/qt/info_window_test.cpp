// The file information window: its fields against the hash command, Copy, several files at
// once, and a reading that stops when the window closes.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>

#include "platform/qt/info_window.h"
#include "platform/qt/qt_edge.h"
#include "platform/qt/qt_pasteboard.h"
#include "platform/qt/windows_test_support.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

using test::waitFor;
using Field = FileInfoWindow::Field;

class InfoWindow : public test::SandboxTest {
  protected:
    // What `trackfolio-sync hash` prints, by field.
    static std::map<Field, QString> hashCommand(const std::string& path) {
        QProcess process;
        process.start(QStringLiteral(TRACKFOLIO_SYNC_BINARY),
                      {QStringLiteral("hash"), QStringLiteral("--"), qt::pathText(path)});
        EXPECT_TRUE(process.waitForFinished(30000));
        std::map<Field, QString> fields;
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
            const QStringList words = line.split(' ', Qt::SkipEmptyParts);
            static const std::map<QString, Field> names = {{"MD5", Field::MD5},
                                                           {"SHA1", Field::SHA1},
                                                           {"SHA256", Field::SHA256},
                                                           {"SHA512", Field::SHA512},
                                                           {"CRC32", Field::CRC32Decimal}};
            fields[names.at(words.at(0))] = words.at(1);
            if (words.at(0) == "CRC32") {
                fields[Field::CRC32Hexadecimal] = words.at(2);
            }
        }
        return fields;
    }

    QtPasteboard pasteboard;
};

TEST_F(InfoWindow, FieldsEqualTheHashCommandAndEachCopyButtonCopiesItsOwn) {
    std::string data(3 * 1024 * 1024 + 17, '\0');
    std::mt19937 random(7);
    for (char& byte : data) {
        byte = static_cast<char>(random() & 0xFF);
    }
    const std::string path = files().write("Holiday photos.tar", data).string();
    const std::map<Field, QString> expected = hashCommand(path);
    ASSERT_EQ(expected.size(), 6u);

    FileInfoWindow window(path, pasteboard);
    EXPECT_EQ(window.windowTitle(), "Holiday photos.tar");
    window.show();
    window.start();
    ASSERT_TRUE(waitFor([&] { return !window.computing(); }));
    ASSERT_TRUE(waitFor([&] { return !window.fieldText(Field::MD5).isEmpty(); }));
    for (const auto& [field, text] : expected) {
        SCOPED_TRACE(static_cast<int>(field));
        EXPECT_EQ(window.fieldText(field), text);
        QPushButton* copy = window.copyButton(field);
        ASSERT_TRUE(copy->isEnabled());
        copy->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), text);
    }
    EXPECT_FALSE(window.progressBar()->isVisible());
    EXPECT_EQ(window.statusLine()->text().toStdString(), path);
}

TEST_F(InfoWindow, AnUnreadableFileLeavesTheDigestsEmptyAndSaysSo) {
    FileInfoWindow window((files().path() / "gone").string(), pasteboard);
    window.show();
    window.start();
    ASSERT_TRUE(waitFor([&] { return window.fieldText(Field::CRC32Decimal) == "0"; }));
    EXPECT_EQ(window.fieldText(Field::CRC32Hexadecimal), "0");
    EXPECT_EQ(window.statusLine()->text().toStdString(), localized("Error Common Tip"));
    for (const Field field : {Field::MD5, Field::SHA1, Field::SHA256, Field::SHA512}) {
        EXPECT_TRUE(window.fieldText(field).isEmpty());
        // Nothing worth replacing the clipboard with.
        EXPECT_FALSE(window.copyButton(field)->isEnabled());
    }
}

TEST_F(InfoWindow, ALargeFileShowsProgressAndClosingStopsTheReading) {
    // Sparse, so it costs no disk, but it takes far longer to read than the test waits.
    const std::filesystem::path path = files().path() / "disk.img";
    std::ofstream(path).close();
    std::filesystem::resize_file(path, std::uintmax_t{64} << 30);

    FileInfoWindow window(path.string(), pasteboard);
    window.show();
    window.start();
    ASSERT_TRUE(waitFor(
        [&] { return window.progressBar()->isVisible() && window.progressBar()->value() > 0; }));
    EXPECT_TRUE(window.computing());
    window.close();
    // It ends within a buffer or so, and fills nothing.
    ASSERT_TRUE(waitFor([&] { return !window.computing(); }, 2000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.fieldText(Field::MD5).isEmpty());
    EXPECT_TRUE(window.fieldText(Field::CRC32Decimal).isEmpty());
}

TEST_F(InfoWindow, OneWindowPerFileAndAnyNumberOfFiles) {
    QtFileInfoWindows windows(pasteboard);
    const std::string a = files().write("a.txt", "abc").string();
    const std::string b = files().write("b.txt", "abc").string();
    windows.open(a);
    windows.open(b);
    windows.open(a);
    ASSERT_EQ(windows.windows().size(), 2u);
    for (FileInfoWindow* window : windows.windows()) {
        EXPECT_TRUE(window->isVisible());
        ASSERT_TRUE(waitFor([&] { return window->fieldText(Field::CRC32Decimal) == "891568578"; }));
    }
    // A closed window goes; opening its file again makes a new one.
    FileInfoWindow* first = windows.windows().front();
    first->close();
    ASSERT_TRUE(waitFor([&] { return windows.windows().size() == 1; }));
    windows.open(a);
    EXPECT_EQ(windows.windows().size(), 2u);
}

}  // namespace
}  // namespace tf

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>

#include <gtest/gtest.h>

#include "platform/qt/qt_edge.h"
#include "platform/qt/qt_user_interface.h"
#include "platform/qt/windows_test_support.h"
#include "support/sandbox.h"

namespace tf {
namespace {

using test::buttonWithText;
using test::whenModal;

class FolderChooser : public test::SandboxTest {
  protected:
    QtUserInterface ui;
};

TEST_F(FolderChooser, ShowsPromptAndMessageAndReturnsTheChosenFolder) {
    const std::string start = files().mkdir("start").string();
    const std::string chosen = files().mkdir("start/inner folder").string();
    bool promptShown = false;
    QString message;
    QString shownFolder;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        promptShown = buttonWithText(dialog, "Move Here") != nullptr;
        if (auto* label = dialog->findChild<QLabel*>("message")) {
            message = label->isVisibleTo(dialog) ? label->text() : QString();
        }
        shownFolder = dialog->directory().absolutePath();
        dialog->setDirectory(QString::fromStdString(chosen));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const auto answer = ui.chooseFolder({"Move Here", "Where should the items go?", start});
    EXPECT_TRUE(promptShown);
    EXPECT_EQ(message, "Where should the items go?");
    EXPECT_EQ(shownFolder, QString::fromStdString(start));
    EXPECT_EQ(answer, chosen);
}

TEST_F(FolderChooser, AStartFolderQtCannotNameOpensAtTheNearestFolderItCan) {
    // "café" in Latin-1: not UTF-8, so Qt can neither show nor enter it.
    const std::string parent = files().mkdir("parent").string();
    const std::string start = files().mkdir("parent/caf\xe9/inner").string();
    QString shown;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        shown = dialog->directory().absolutePath();
        QMetaObject::invokeMethod(dialog, "accept");
    });
    EXPECT_EQ(ui.chooseFolder({"Here", "", start}), parent);
    EXPECT_EQ(shown, QString::fromStdString(parent));
}

TEST_F(FolderChooser, CancelGivesNothing) {
    whenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(ui.chooseFolder({"Choose", "", files().path().string()}), std::nullopt);
}

TEST(PathEdge, ChosenPathsKeepTheBytesOfTheKnownFolder) {
    // "café" in Latin-1: not UTF-8, so Qt shows it with a replacement character.
    const std::string known = "/data/caf\xe9";
    const QString shown = qt::pathText(known);
    EXPECT_EQ(qt::pathBytes(shown, known), known);
    EXPECT_EQ(qt::pathBytes(shown + "/", known), known);
    EXPECT_EQ(qt::pathBytes(shown + "/sub/b", known), known + "/sub/b");
    EXPECT_EQ(qt::pathBytes(QStringLiteral("/other/x"), known), "/other/x");
    // A sibling that merely starts with the same letters is not inside it.
    EXPECT_EQ(qt::pathBytes(QStringLiteral("/data/caf"), "/data/ca"), "/data/caf");
    EXPECT_EQ(qt::pathBytes(QStringLiteral("/x/y"), "/"), "/x/y");
    EXPECT_EQ(qt::pathBytes(QStringLiteral("/x//y/"), ""), "/x/y");
}

TEST(PathEdge, RepresentablePathsDropTheComponentsQtCannotName) {
    EXPECT_EQ(qt::representablePath("/srv/ü/docs"), "/srv/ü/docs");
    EXPECT_EQ(qt::representablePath("/data/caf\xe9/inner"), "/data");
    EXPECT_EQ(qt::representablePath("/\xff"), "/");
    EXPECT_EQ(qt::representablePath(""), "");
}

class TextQuestion : public test::SandboxTest {
  protected:
    QtUserInterface ui;
};

TEST_F(TextQuestion, OffersTheDefaultTextAndReturnsWhatWasTyped) {
    QString offered;
    QString label;
    whenModal<QInputDialog>([&](QInputDialog* dialog) {
        offered = dialog->textValue();
        label = dialog->labelText();
        dialog->setTextValue(QStringLiteral("Renamed ✓"));
        dialog->accept();
    });
    const auto answer = ui.askText({"New name", "At most 30 characters.", "Old name"});
    EXPECT_EQ(offered, "Old name");
    EXPECT_TRUE(label.contains("New name"));
    EXPECT_TRUE(label.contains("At most 30 characters."));
    EXPECT_EQ(answer, "Renamed ✓");

    // An empty answer is still an answer, unlike cancel.
    whenModal<QInputDialog>([](QInputDialog* dialog) {
        dialog->setTextValue(QString());
        dialog->accept();
    });
    EXPECT_EQ(ui.askText({"Name", "", "x"}), "");
}

TEST_F(TextQuestion, CancelGivesNothing) {
    whenModal<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(ui.askText({"Name", "", "Old"}), std::nullopt);
}

}  // namespace
}  // namespace tf

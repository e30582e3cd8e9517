#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/qt/qt_edge.h"
#include "platform/qt/qt_user_interface.h"
#include "platform/qt/save_panel.h"
#include "platform/qt/windows_test_support.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

using test::buttonWithText;
using test::whenModal;

QLineEdit* nameField(SavePanel* panel) {
    return panel->findChild<QLineEdit*>("nameField");
}

QPushButton* saveButton(SavePanel* panel) {
    return panel->findChild<QPushButton*>("saveButton");
}

TEST(SaveNames, TypeListEntriesNameTheirExtension) {
    EXPECT_EQ(typeListExtension("Text Document (.txt)"), "txt");
    EXPECT_EQ(typeListExtension("Archive (v2) (.tar.gz)"), "tar.gz");
    EXPECT_EQ(typeListExtension("png"), "png");
    EXPECT_EQ(typeListExtension("Plain text"), "");
    EXPECT_EQ(typeListExtension("Odd (.)"), "");
    EXPECT_EQ(typeListExtension(""), "");
}

TEST(SaveNames, AllowedTypesFollowTheChosenTypeWithFallbacks) {
    SaveRequest request;
    request.allowedTypes = {"zip"};
    EXPECT_EQ(allowedTypesFor(request, -1), std::vector<std::string>{"zip"});

    request.typeList = {"Text (.txt)", "Markdown (.md)"};
    EXPECT_EQ(allowedTypesFor(request, 1), std::vector<std::string>{"md"});
    EXPECT_TRUE(allowedTypesFor(request, 2).empty());

    request.typeList = {"PNG image", "JPEG image"};
    request.allowedTypes = {"png", "jpg"};
    EXPECT_EQ(allowedTypesFor(request, 1), std::vector<std::string>{"jpg"});
    // Allowed types that do not pair up with the list describe the first selected type only.
    request.allowedTypes = {"png"};
    request.selectedType = 0;
    EXPECT_EQ(allowedTypesFor(request, 0), std::vector<std::string>{"png"});
    EXPECT_TRUE(allowedTypesFor(request, 1).empty());
}

TEST(SaveNames, NamesTakeAnAllowedExtension) {
    EXPECT_EQ(nameWithAllowedType("notes", {"txt"}), "notes.txt");
    EXPECT_EQ(nameWithAllowedType("notes.TXT", {"txt"}), "notes.TXT");
    EXPECT_EQ(nameWithAllowedType("notes.md", {"txt", "md"}), "notes.md");
    EXPECT_EQ(nameWithAllowedType("notes.md", {"txt"}), "notes.md.txt");
    EXPECT_EQ(nameWithAllowedType(".env", {"txt"}), ".env.txt");
    EXPECT_EQ(nameWithAllowedType("anything.x", {}), "anything.x");

    const std::vector<std::string> known = {"txt", "md"};
    EXPECT_EQ(nameForType("Untitled.txt", "md", known), "Untitled.md");
    EXPECT_EQ(nameForType("Untitled.TXT", "md", known), "Untitled.md");
    EXPECT_EQ(nameForType("Untitled", "md", known), "Untitled.md");
    // A dot that is part of the name, not one of the types, stays.
    EXPECT_EQ(nameForType("Report 2.1", "md", known), "Report 2.1.md");
    EXPECT_EQ(nameForType("Untitled.txt", "", known), "Untitled.txt");
    EXPECT_EQ(nameForType("", "md", known), "");
}

class SavePanelWindow : public test::SandboxTest {
  protected:
    SaveRequest fullRequest() {
        SaveRequest request;
        request.title = "New File";
        request.message = "Create a file from a template.";
        request.name = "Untitled";
        request.folder = files().path().string();
        request.allowedTypes = {"txt"};
        request.passwordLabel = "Password:";
        request.checkBoxTitle = "Open after saving";
        request.typeList = {"Text Document (.txt)", "Markdown (.md)"};
        return request;
    }
    std::string inFolder(const std::string& name) { return (files().path() / name).string(); }

    QtUserInterface ui;
};

TEST_F(SavePanelWindow, ReturnsNameFolderPasswordCheckAndTypeWithTheTypesExtension) {
    QString shownName;
    QString nameAfterTypeChange;
    whenModal<SavePanel>([&](SavePanel* panel) {
        shownName = nameField(panel)->text();
        panel->findChild<QComboBox*>("typeList")->setCurrentIndex(1);
        nameAfterTypeChange = nameField(panel)->text();
        panel->findChild<QLineEdit*>("passwordField")->setText("s3cret");
        panel->findChild<QCheckBox*>("checkBox")->setChecked(true);
        saveButton(panel)->click();
    });
    const auto answer = ui.runSavePanel(fullRequest());
    EXPECT_EQ(shownName, "Untitled.txt");
    EXPECT_EQ(nameAfterTypeChange, "Untitled.md");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->path, inFolder("Untitled.md"));
    EXPECT_EQ(answer->password, "s3cret");
    EXPECT_TRUE(answer->checked);
    EXPECT_EQ(answer->typeIndex, 1);
}

TEST_F(SavePanelWindow, ATypedNameWithoutTheTypesExtensionGetsIt) {
    SaveRequest request = fullRequest();
    request.selectedType = 1;
    whenModal<SavePanel>([](SavePanel* panel) {
        nameField(panel)->setText("notes");
        saveButton(panel)->click();
    });
    const auto answer = ui.runSavePanel(request);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->path, inFolder("notes.md"));
    EXPECT_EQ(answer->typeIndex, 1);
    EXPECT_FALSE(answer->checked);
}

TEST_F(SavePanelWindow, WithoutAccessoryRowsTheAnswerKeepsTheRequestsDefaults) {
    SaveRequest request;
    request.name = "archive.zip";
    request.folder = files().path().string();
    request.checkBoxState = true;
    bool accessoryShown = true;
    whenModal<SavePanel>([&](SavePanel* panel) {
        accessoryShown = panel->findChild<QLineEdit*>("passwordField") != nullptr ||
                         panel->findChild<QCheckBox*>("checkBox") != nullptr ||
                         panel->findChild<QComboBox*>("typeList") != nullptr;
        saveButton(panel)->click();
    });
    const auto answer = ui.runSavePanel(request);
    EXPECT_FALSE(accessoryShown);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->path, inFolder("archive.zip"));
    EXPECT_EQ(answer->password, "");
    EXPECT_TRUE(answer->checked);
    EXPECT_EQ(answer->typeIndex, -1);
}

TEST_F(SavePanelWindow, TheFolderButtonPicksWhereTheFileGoes) {
    const std::string inner = files().mkdir("inner").string();
    QString shownFolder;
    whenModal<SavePanel>([&](SavePanel* panel) {
        whenModal<QFileDialog>([&](QFileDialog* dialog) {
            dialog->setDirectory(QString::fromStdString(inner));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        panel->findChild<QPushButton*>("folderButton")->click();
        shownFolder = panel->findChild<QLineEdit*>("folderField")->text();
        saveButton(panel)->click();
    });
    const auto answer = ui.runSavePanel(fullRequest());
    EXPECT_EQ(shownFolder, QString::fromStdString(inner));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->path, inner + "/Untitled.txt");
}

TEST_F(SavePanelWindow, CancelGivesNothing) {
    whenModal<SavePanel>([](SavePanel* panel) {
        buttonWithText(panel, QString::fromStdString(localized("Cancel")))->click();
    });
    EXPECT_EQ(ui.runSavePanel(fullRequest()), std::nullopt);
}

TEST_F(SavePanelWindow, SaveNeedsANameAndAnExistingFolder) {
    bool emptyName = true, slashInName = true, missingFolder = true, good = false;
    whenModal<SavePanel>([&](SavePanel* panel) {
        auto* folder = panel->findChild<QLineEdit*>("folderField");
        nameField(panel)->setText("  ");
        emptyName = saveButton(panel)->isEnabled();
        nameField(panel)->setText("a/b");
        slashInName = saveButton(panel)->isEnabled();
        nameField(panel)->setText("ok");
        folder->setText(QString::fromStdString(inFolder("missing")));
        missingFolder = saveButton(panel)->isEnabled();
        // Enter on a disabled Save does nothing.
        panel->accept();
        folder->setText(QString::fromStdString(files().path().string()));
        good = saveButton(panel)->isEnabled();
        panel->reject();
    });
    ui.runSavePanel(fullRequest());
    EXPECT_FALSE(emptyName);
    EXPECT_FALSE(slashInName);
    EXPECT_FALSE(missingFolder);
    EXPECT_TRUE(good);
}

TEST_F(SavePanelWindow, AnExistingFileIsReplacedOnlyWhenTheUserAgrees) {
    files().write("report.txt", "old");
    QString question;
    bool stillOpenAfterCancel = false;
    whenModal<SavePanel>([&](SavePanel* panel) {
        nameField(panel)->setText("report");
        whenModal<QMessageBox>(
            [&, panel](QMessageBox* box) {
                question = box->text();
                // Cancel is the default: Return must not replace.
                EXPECT_EQ(box->defaultButton()->text(),
                          QString::fromStdString(localized("Cancel")));
                box->defaultButton()->click();
                QTimer::singleShot(0, panel, [&, panel] {
                    stillOpenAfterCancel = panel->isVisible();
                    whenModal<QMessageBox>(
                        [](QMessageBox* again) {
                            buttonWithText(again, QString::fromStdString(localized("Replace")))
                                ->click();
                        },
                        panel);
                    saveButton(panel)->click();
                });
            },
            panel);
        saveButton(panel)->click();
    });
    const auto answer = ui.runSavePanel(fullRequest());
    EXPECT_TRUE(question.contains("report.txt")) << question.toStdString();
    EXPECT_TRUE(stillOpenAfterCancel);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->path, inFolder("report.txt"));
}

TEST_F(SavePanelWindow, AFolderNameThatIsNotUtf8Survives) {
    const std::filesystem::path folder = files().mkdir("caf\xe9");
    SaveRequest request;
    request.name = "x.txt";
    request.folder = folder.string();
    whenModal<SavePanel>([](SavePanel* panel) { saveButton(panel)->click(); });
    const auto answer = ui.runSavePanel(request);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->path, folder.string() + "/x.txt");
}

}  // namespace
}  // namespace tf

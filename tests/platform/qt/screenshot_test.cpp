// Every window once, as the user sees it; with TRACKFOLIO_SCREENSHOT_DIR set (under Xvfb)
// the grabs are kept for a look.
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/qt/info_window.h"
#include "platform/qt/qt_pasteboard.h"
#include "platform/qt/qt_progress_window.h"
#include "platform/qt/qt_user_interface.h"
#include "platform/qt/save_panel.h"
#include "platform/qt/windows_test_support.h"
#include "support/sandbox.h"

namespace tf {
namespace {

using test::checkScreenshot;
using test::whenModal;

class Screenshots : public test::SandboxTest {
  protected:
    QtUserInterface ui;
};

TEST_F(Screenshots, EveryWindowRendersAtAPlausibleSize) {
    whenModal<QMessageBox>([](QMessageBox* box) {
        checkScreenshot(box, "alert");
        box->reject();
    });
    ui.runAlert({"“Report.txt” already exists in this location.",
                 "Replacing it overwrites its current contents.",
                 {"Stop", "Keep Both", "Replace"},
                 AlertStyle::Critical});

    // The picked colour, with the full-width colons the result text keeps in every language.
    whenModal<QMessageBox>([](QMessageBox* box) {
        checkScreenshot(box, "colour-result", 150);
        box->reject();
    });
    ui.runAlert({"",
                 "HEX\uFF1A#E95747\n\nRGB\uFF1A233, 87, 71",
                 {"Copy HEX", "Copy RGB"},
                 AlertStyle::Informational});

    files().mkdir("Documents");
    files().mkdir("Pictures");
    whenModal<QFileDialog>([](QFileDialog* dialog) {
        // The listing fills in asynchronously; give it a moment to show the folders.
        if (auto* model = dialog->findChild<QFileSystemModel*>()) {
            test::waitFor(
                [&] {
                    return model->rowCount(model->index(dialog->directory().absolutePath())) > 0;
                },
                2000);
        }
        checkScreenshot(dialog, "folder-chooser");
        dialog->reject();
    });
    ui.chooseFolder({"Move Here", "Choose where the selected items go.", files().path().string()});

    SaveRequest save;
    save.title = "New File";
    save.message = "Create a file from a template.";
    save.name = "Untitled";
    save.folder = files().path().string();
    save.passwordLabel = "Password:";
    save.checkBoxTitle = "Open after saving";
    save.typeList = {"Text Document (.txt)", "Markdown (.md)", "Word Document (.docx)"};
    whenModal<SavePanel>([](SavePanel* panel) {
        checkScreenshot(panel, "save-panel");
        panel->reject();
    });
    ui.runSavePanel(save);

    // The archive panel: password field with its hint, and the junk check box.
    SaveRequest archive;
    archive.name = "Photos.zip";
    archive.folder = files().path().string();
    archive.allowedTypes = {"zip"};
    archive.passwordLabel = "Password:";
    archive.passwordPlaceholder = "Leave empty for no password";
    archive.checkBoxTitle = "Skip .DS_Store, _MACOSX and __MACOSX";
    archive.checkBoxState = true;
    whenModal<SavePanel>([](SavePanel* panel) {
        checkScreenshot(panel, "zip-save-panel");
        panel->reject();
    });
    ui.runSavePanel(archive);

    whenModal<QInputDialog>([](QInputDialog* dialog) {
        checkScreenshot(dialog, "text-question");
        dialog->reject();
    });
    ui.askText({"Name of the new folder", "At most 30 characters.", "New Folder"});

    QtProgressWindow progress;
    progress.open();
    checkScreenshot(progress.widget(), "progress-wait");
    progress.setPercent(0.123);
    checkScreenshot(progress.widget(), "progress-percent");
    progress.setSuccessDelay(0);
    progress.showSuccess("Done.", nullptr);
    checkScreenshot(progress.widget(), "progress-success");
}

TEST_F(Screenshots, FileInformationWindowDoneAndReading) {
    QtPasteboard pasteboard;
    FileInfoWindow done(files().write("Quarterly report.pdf", "%PDF-1.7 ...").string(), pasteboard);
    done.show();
    done.start();
    ASSERT_TRUE(test::waitFor([&] { return !done.fieldText(FileInfoWindow::MD5).isEmpty(); }));
    checkScreenshot(&done, "file-info");

    const std::filesystem::path large = files().path() / "Disk image.img";
    std::ofstream(large).close();
    std::filesystem::resize_file(large, std::uintmax_t{4} << 30);
    FileInfoWindow reading(large.string(), pasteboard);
    reading.show();
    reading.start();
    ASSERT_TRUE(test::waitFor([&] {
        return reading.progressBar()->isVisible() && reading.progressBar()->value() >= 20;
    }));
    checkScreenshot(&reading, "file-info-reading");
}

}  // namespace
}  // namespace tf

#include "app/settings_app.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>
#include <optional>

#include "model/menu_manager.h"
#include "platform/process_runner.h"
#include "platform/qt/qt_edge.h"
#include "settings/add_back_window.h"
#include "settings/common_path_page.h"
#include "settings/extension_status.h"
#include "settings/general_page.h"
#include "settings/handoff.h"
#include "settings/name_sheet.h"
#include "settings/new_file_page.h"
#include "settings/open_with_page.h"
#include "settings/preferences_page.h"
#include "settings/script_editor.h"
#include "settings/script_page.h"
#include "settings/settings_window.h"
#include "settings/single_instance.h"
#include "settings/status_dialog.h"
#include "settings/tray.h"

namespace tf {
namespace {

struct Options {
    QString page;
    QString screenshots;
    bool exitWhenShown = false;
    QStringList handedOver;
};

std::optional<Options> parse(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--page" && hasValue) {
            options.page = qt::text(args[++i]);
        } else if (arg == "--screenshots" && hasValue) {
            options.screenshots = qt::pathText(args[++i]);
        } else if (arg == "--exit-when-shown") {
            options.exitWhenShown = true;
        } else if (!arg.empty() && arg.front() == '/') {
            options.handedOver << qt::pathText(arg);
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// Prints how long the window took to reach the screen, then quits: the start-up measure.
class FirstPaint : public QObject {
  public:
    FirstPaint(const QElapsedTimer& clock, QObject* parent) : QObject(parent), clock_(clock) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            qt::printShownAfter(clock_.elapsed());
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    const QElapsedTimer& clock_;
    bool done_ = false;
};

bool save(QWidget* widget, const QString& folder, const QString& name) {
    const QString file = QDir(folder).filePath(name + QStringLiteral(".png"));
    const bool saved = widget->grab().save(file);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(file));
    return saved;
}

// The script editor sheet editing a script with conditions, its message for a missing name,
// and the placeholder help.
bool scriptScreenshots(SettingsWindow& window, const QString& folder) {
    auto* scripts = qobject_cast<RCScriptViewCtl*>(window.page(PageId::CommonScript));
    if (scripts == nullptr || scripts->tableData().size() < 2) {
        return true;
    }
    window.showPage(PageId::CommonScript);
    scripts->table()->selectRow(1);
    scripts->onEditName();
    RCAddEditScriptWinCtl* sheet = scripts->editor();
    QApplication::processEvents();
    bool ok = save(sheet, folder, QStringLiteral("script-editor"));
    sheet->onHelpAction();
    QApplication::processEvents();
    ok = save(sheet->helpViewCtl(), folder, QStringLiteral("script-help")) && ok;
    sheet->helpViewCtl()->close();
    sheet->editWithItem(RCMenuItem());
    sheet->setKind(ScriptKind::Python);
    sheet->onSure();
    QApplication::processEvents();
    ok = save(sheet, folder, QStringLiteral("script-editor-message")) && ok;
    sheet->onCancel();
    return ok;
}

// Every page and its sheets and windows, each once, then quit.
int takeScreenshots(SettingsWindow& window, RCGeneralViewCtl* general, const QString& folder) {
    QDir().mkpath(folder);
    window.open();
    bool ok = true;
    for (PageId id : window.pageOrder()) {
        window.showPage(id);
        QApplication::processEvents();
        ok = save(&window, folder, QString::fromLatin1(pageInfo(id)->identifier)) && ok;
    }
    if (general != nullptr) {
        // The entries below the first screenful, with their option checkboxes.
        window.showPage(PageId::General);
        general->table()->scrollToBottom();
        QApplication::processEvents();
        ok = save(&window, folder, QStringLiteral("general-end")) && ok;
        general->table()->scrollToTop();
        window.showPage(PageId::General);
        general->table()->selectRow(0);
        general->onEditName();
        QApplication::processEvents();
        ok = save(general->nameSheet(), folder, QStringLiteral("name-sheet")) && ok;
        general->nameSheet()->onCancel();
        if (!RCAddRightMenuWinCtl::diffData().empty()) {
            general->onAdd();
            QApplication::processEvents();
            ok = save(general->addMenuWindow(), folder, QStringLiteral("add-back")) && ok;
            general->addMenuWindow()->close();
        }
    }
    if (auto* newFile = qobject_cast<RCNewFileViewCtl*>(window.page(PageId::NewFile))) {
        // The template form: new, for a file of fixed name, and editing.
        window.showPage(PageId::NewFile);
        newFile->onAdd();
        QApplication::processEvents();
        ok = save(newFile->addFileWindow(), folder, QStringLiteral("newfile-form")) && ok;
        newFile->addFileWindow()->onCancel();
        newFile->onAdd();
        RCAddFileWinCtl* special = newFile->addFileWindow();
        special->specialFileCheck()->setChecked(true);
        special->inputFileType()->setText(QStringLiteral("Environment"));
        special->inputFileName()->setText(QStringLiteral(".env"));
        QApplication::processEvents();
        ok = save(special, folder, QStringLiteral("newfile-form-special")) && ok;
        special->onCancel();
        newFile->table()->selectRow(1);
        newFile->onEditName();
        QApplication::processEvents();
        ok = save(newFile->addFileWindow(), folder, QStringLiteral("newfile-form-edit")) && ok;
        newFile->addFileWindow()->onCancel();
    }
    if (window.page(PageId::CommonApp) != nullptr) {
        window.showPage(PageId::CommonApp);
        RCAppChooser chooser(&window);
        chooser.show();
        chooser.searchField()->setText(QStringLiteral("e"));
        QApplication::processEvents();
        ok = save(&chooser, folder, QStringLiteral("app-chooser")) && ok;
    }
    ok = scriptScreenshots(window, folder) && ok;
    {
        // What this machine has: the file managers found, the plugins, the service.
        PosixProcessRunner processes;
        DesktopFileManagerControl control(processes);
        const ExtensionStatus status(StatusEnvironment::fromSystem(menuServiceAnswers));
        StatusDialog dialog(status, control, menuServiceProgram(), &window);
        dialog.show();
        QApplication::processEvents();
        ok = save(&dialog, folder, QStringLiteral("extension-status")) && ok;
    }
    return ok ? 0 : 1;
}

}  // namespace

bool isWindowLaunch(const std::vector<std::string>& args) {
    return parse(args).has_value();
}

int runSettingsApp(int argc, char** argv, const std::vector<std::string>& args) {
    QElapsedTimer clock;
    clock.start();
    const Options options = parse(args).value_or(Options{});
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("trackfolio"));
    app.setApplicationDisplayName(qt::windowTitle());
    app.setDesktopFileName(QStringLiteral("org.trackfolio.Trackfolio"));

    SingleInstance instance;
    // The screenshot and timing runs stand alone, beside a window the user may have open.
    if (options.screenshots.isEmpty() && !options.exitWhenShown &&
        instance.start(options.handedOver) == SingleInstance::Role::Forwarded) {
        return 0;
    }
    SettingsStore& shared = RCMenuManager::sharedInstance().sharedDefaults();
    // Also decides whether closing the window ends the application.
    Tray tray(shared);

    SettingsWindow window;
    auto* general = new RCGeneralViewCtl;
    // Asking the bus may start the menu service: done once the window is up, not per reload.
    std::optional<bool> menuShown;
    general->extensionEnabled = [&menuShown] { return menuShown.value_or(true); };
    general->showExtensionManagement = [&window, &menuShown, general] {
        showExtensionStatusDialog(&window);
        menuShown = anyFileManagerHasMenu();
        general->refresh();
    };
    window.addPage(PageId::General, general);
    window.addPage(PageId::NewFile, new RCNewFileViewCtl);
    window.addPage(PageId::CommonApp, new RCOpenWithViewCtl);
    window.addPage(PageId::CommonPath, new RCFavoriteViewCtl);
    window.addPage(PageId::CommonScript, new RCScriptViewCtl);
    window.addPage(PageId::Preferences, new PreferencesPage(shared, tray, {}));
    if (const PageInfo* info = pageInfo(options.page)) {
        window.showPage(info->id);
    }
    QObject::connect(&tray, &Tray::openWindowRequested, &window, &SettingsWindow::open);
    QObject::connect(&tray, &Tray::exitRequested, &app, &QApplication::quit);

    // A start, first or later, with the files the menu service handed over (if any). A
    // hand-off (sharing, desktop picture) runs without showing the window.
    const auto launched = [&window](const QStringList& files) {
        std::vector<std::string> paths;
        for (const QString& file : files) {
            paths.push_back(qt::pathBytes(file));
        }
        if (!handleHandOff(paths)) {
            window.openWindow();
        }
    };
    QObject::connect(&instance, &SingleInstance::activated, &window, launched);

    if (!options.screenshots.isEmpty()) {
        return takeScreenshots(window, general, options.screenshots);
    }
    if (options.exitWhenShown) {
        window.installEventFilter(new FirstPaint(clock, &window));
        window.open();
        return app.exec();
    }
    launched(options.handedOver);
    QTimer::singleShot(0, general, [&menuShown, general] {
        menuShown = anyFileManagerHasMenu();
        general->refresh();
    });
    return app.exec();
}

}  // namespace tf

#include "settings/status_dialog.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <system_error>

#include "platform/process_runner.h"
#include "platform/qt/qt_edge.h"
#include "util/posix.h"
#include "util/strings.h"

namespace fs = std::filesystem;

namespace tf {
namespace {

QString textFor(std::string_view key) {
    return qt::text(localized(key));
}

QString trFormat(std::string_view key, std::string_view argument) {
    return qt::text(localizedFormat(key, {std::string(argument)}));
}

QLabel* wrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

void DesktopFileManagerControl::restart(const FileManagerInfo& fileManager) {
    if (!fileManager.quitArgv.empty()) {
        ProcessRequest quit;
        quit.argv = fileManager.quitArgv;
        processes_.run(quit);
    } else if (fileManager.id == FileManager::Dolphin) {
        // Each Dolphin window process owns org.kde.dolphin-<pid> and answers quit() on its
        // application object.
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QStringList names = bus.interface() != nullptr
                                      ? bus.interface()->registeredServiceNames().value()
                                      : QStringList();
        for (const QString& name : names) {
            if (name.startsWith(QStringLiteral("org.kde.dolphin-"))) {
                auto call = QDBusMessage::createMethodCall(
                    name, QStringLiteral("/MainApplication"),
                    QStringLiteral("org.qtproject.Qt.QCoreApplication"), QStringLiteral("quit"));
                bus.call(call, QDBus::Block, 2000);
            }
        }
    }
    // A moment for the old instance to leave, or the new one would hand over to it.
    constexpr int kStartDelayMs = 1000;
    ProcessRequest start;
    start.argv = {std::string(fileManager.program)};
    QTimer::singleShot(kStartDelayMs, [this, start] { processes_.spawnDetached(start); });
}

StatusDialog::StatusDialog(const ExtensionStatus& status, FileManagerControl& control,
                           std::string syncProgram, QWidget* parent)
    : QDialog(parent), status_(status), control_(control), syncProgram_(std::move(syncProgram)) {
    setWindowTitle(textFor("Extension Status Title"));
    auto* layout = new QVBoxLayout(this);
    rows_ = new QWidget(this);
    rowsLayout_ = new QVBoxLayout(rows_);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rows_);
    auto* buttons = new QHBoxLayout;
    auto* again = new QPushButton(textFor("Extension Status Check Again"), this);
    auto* close = new QPushButton(textFor("OK"), this);
    close->setDefault(true);
    connect(again, &QPushButton::clicked, this, &StatusDialog::refresh);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(again);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    setMinimumWidth(520);
    refresh();
}

void StatusDialog::refresh() {
    while (QLayoutItem* item = rowsLayout_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->deleteLater();
        }
        delete item;
    }
    const auto rows = status_.check();
    if (rows.empty()) {
        rowsLayout_->addWidget(wrappedLabel(textFor("Extension Status No File Manager"), rows_));
        return;
    }
    for (const auto& row : rows) {
        addRow(row);
    }
    addServiceRow(rows.front().serviceAnswers);
}

void StatusDialog::addRow(const FileManagerStatus& row) {
    auto* box = new QWidget(rows_);
    auto* line = new QHBoxLayout(box);
    line->setContentsMargins(0, 4, 0, 4);
    const std::string_view name = row.info->name;
    QString text;
    QPushButton* action = nullptr;
    if (!row.pluginInstalled && !row.shippedRoot.empty()) {
        text = trFormat("Extension Status Plugin Path Tip", name);
        action = new QPushButton(textFor("Extension Status Install For Me"), box);
        const fs::path root = row.shippedRoot;
        connect(action, &QPushButton::clicked, this, [this, root] {
            std::string error;
            report(status_.installDolphinPluginPath(root, &error), error);
        });
    } else if (!row.pluginInstalled) {
        text = trFormat("Extension Status No Plugin Tip", name);
    } else if (!row.enabled) {
        text = trFormat("Extension Status Switched Off Tip", name);
        action = new QPushButton(textFor("Extension Status Switch On"), box);
        connect(action, &QPushButton::clicked, this, [this] {
            std::string error;
            report(status_.enableDolphinPlugin(&error), error);
        });
    } else if (row.serviceAnswers) {
        text = trFormat("Extension Status Ready Tip", name);
    } else {
        text = trFormat("Extension Status Waiting Tip", name);
    }
    line->addWidget(wrappedLabel(text, box), 1);
    if (action != nullptr) {
        line->addWidget(action);
    }
    if (row.pluginInstalled) {
        auto* restart = new QPushButton(trFormat("Extension Status Restart", name), box);
        const FileManagerInfo* info = row.info;
        connect(restart, &QPushButton::clicked, this, [this, info] { control_.restart(*info); });
        line->addWidget(restart);
    }
    rowsLayout_->addWidget(box);
}

void StatusDialog::addServiceRow(bool answers) {
    if (answers) {
        return;
    }
    auto* box = new QWidget(rows_);
    auto* line = new QHBoxLayout(box);
    line->setContentsMargins(0, 4, 0, 4);
    if (status_.activationFileInstalled()) {
        line->addWidget(wrappedLabel(textFor("Extension Status No Service Tip"), box), 1);
    } else {
        line->addWidget(wrappedLabel(textFor("Extension Status No Activation Tip"), box), 1);
        if (!syncProgram_.empty()) {
            auto* install = new QPushButton(textFor("Extension Status Install For Me"), box);
            connect(install, &QPushButton::clicked, this, [this] {
                std::string error;
                report(status_.installActivationFile(syncProgram_, &error), error);
            });
            line->addWidget(install);
        }
    }
    rowsLayout_->addWidget(box);
}

void StatusDialog::report(bool ok, const std::string& error) {
    if (!ok) {
        QMessageBox::warning(
            this, qt::windowTitle(),
            qt::text(localizedFormat("Extension Status Install Failed Tip", {error})));
    }
    refresh();
}

std::string menuServiceProgram() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        // Build tree: src/app/trackfolio beside src/cli/trackfolio-sync; installed: one bin.
        for (const fs::path& candidate :
             {self.parent_path() / "trackfolio-sync",
              self.parent_path().parent_path() / "cli/trackfolio-sync"}) {
            if (isExecutableFile(candidate.string())) {
                return candidate.string();
            }
        }
    }
    return findProgram("trackfolio-sync").value_or(std::string());
}

void showExtensionStatusDialog(QWidget* parent) {
    // A restart finishes after the dialog may have closed.
    static PosixProcessRunner processes;
    static DesktopFileManagerControl control(processes);
    const ExtensionStatus status(StatusEnvironment::fromSystem(menuServiceAnswers));
    StatusDialog dialog(status, control, menuServiceProgram(), parent);
    dialog.exec();
}

}  // namespace tf

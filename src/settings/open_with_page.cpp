#include "settings/open_with_page.h"

#include <QHBoxLayout>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include <unistd.h>

#include "model/default_data.h"
#include "model/menu_manager.h"
#include "platform/qt/qt_edge.h"
#include "platform/qt/qt_user_interface.h"
#include "settings/file_chooser.h"
#include "settings/general_page.h"
#include "settings/labels.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {
namespace {

namespace fs = std::filesystem;

RCMenuManager& manager() {
    return RCMenuManager::sharedInstance();
}

// The escapes of a desktop entry's string values.
std::string escapeValue(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Our own desktop entry for a bare executable, kept next to the icons.
bool ownsDesktopFile(const std::string& appName) {
    if (!endsWith(appName, ".desktop")) {
        return false;
    }
    const fs::path folder = manager().appIconFolder();
    return !folder.empty() && fs::path(appName).parent_path() == folder;
}

Dict mainMenuCopy(const RCMenuItem& item) {
    return Dict{{"key", Value(item.key)},
                {"icon", Value(item.icon)},
                {"iconPath", Value(item.iconPath)},
                {"appName", Value(item.appName)},
                {"displayName", Value(item.displayName)}};
}

// The icon drawn centred on a square of `side`, so that names line up whatever sizes the
// theme has.
QIcon squareIcon(const QIcon& icon, int side) {
    QPixmap square(side, side);
    square.fill(Qt::transparent);
    const QPixmap drawn = icon.pixmap(QSize(side, side));
    if (!drawn.isNull()) {
        const QSize size = drawn.deviceIndependentSize().toSize();
        QPainter painter(&square);
        painter.drawPixmap((side - size.width()) / 2, (side - size.height()) / 2, drawn);
    }
    return QIcon(square);
}

}  // namespace

QIcon desktopEntryIcon(const DesktopEntry& entry) {
    if (entry.icon.empty()) {
        return QIcon::fromTheme(QStringLiteral("application-x-executable"));
    }
    if (entry.icon.front() == '/') {
        return QIcon(qt::pathText(entry.icon));
    }
    return QIcon::fromTheme(qt::text(entry.icon),
                            QIcon::fromTheme(QStringLiteral("application-x-executable")));
}

std::string desktopEntryForProgram(const std::string& name, const std::string& program) {
    // Inside double quotes only these four need a backslash; a per cent sign is doubled so
    // it is not read as a field code.
    std::string quoted = "\"";
    for (const char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    quoted += "\" %F";
    return "[Desktop Entry]\nType=Application\nName=" + escapeValue(name) +
           "\nExec=" + escapeValue(quoted) + "\nTerminal=false\n";
}

RCAppChooser::RCAppChooser(QWidget* parent) : QDialog(parent) {
    setWindowTitle(label("Choose Application"));
    for (DesktopEntry& entry : installedDesktopEntries()) {
        if (!entry.noDisplay && isLaunchable(entry)) {
            entries_.push_back(std::move(entry));
        }
    }
    std::stable_sort(
        entries_.begin(), entries_.end(), [](const DesktopEntry& a, const DesktopEntry& b) {
            return QString::compare(qt::text(a.name), qt::text(b.name), Qt::CaseInsensitive) < 0;
        });

    search_ = new QLineEdit(this);
    search_->setPlaceholderText(label("Search Applications"));
    search_->setClearButtonEnabled(true);
    list_ = new QListWidget(this);
    list_->setIconSize(QSize(24, 24));
    list_->setUniformItemSizes(true);
    // Two programs may share a name ("Files"): those rows also say which entry they are.
    std::map<std::string, int> nameCount;
    for (const DesktopEntry& entry : entries_) {
        ++nameCount[entry.name];
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const DesktopEntry& entry = entries_[i];
        QString shown = qt::text(entry.name);
        if (nameCount[entry.name] > 1) {
            const std::string id = entry.id.empty() ? entry.file : entry.id;
            const std::string_view suffix = ".desktop";
            shown += QStringLiteral(" (%1)").arg(
                qt::text(id.size() > suffix.size() && id.ends_with(suffix)
                             ? id.substr(0, id.size() - suffix.size())
                             : id));
        }
        auto* row = new QListWidgetItem(squareIcon(desktopEntryIcon(entry), 24), shown, list_);
        row->setToolTip(qt::text(entry.file));
        row->setData(Qt::UserRole, static_cast<int>(i));
    }
    other_ = new QPushButton(label("Other Application"), this);
    sure_ = new QPushButton(label("OK"), this);
    sure_->setDefault(true);
    auto* cancel = new QPushButton(label("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(other_);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(sure_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(420, 480);

    connect(search_, &QLineEdit::textChanged, this, &RCAppChooser::filter);
    connect(list_, &QListWidget::itemDoubleClicked, this, &RCAppChooser::onSure);
    connect(list_, &QListWidget::currentRowChanged, this,
            [this] { sure_->setEnabled(list_->currentItem() != nullptr); });
    connect(other_, &QPushButton::clicked, this, &RCAppChooser::onOther);
    connect(sure_, &QPushButton::clicked, this, &RCAppChooser::onSure);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    sure_->setEnabled(false);
}

void RCAppChooser::filter(const QString& text) {
    const QString wanted = text.trimmed();
    QListWidgetItem* first = nullptr;
    for (int row = 0; row < list_->count(); ++row) {
        QListWidgetItem* item = list_->item(row);
        const bool shown = wanted.isEmpty() || item->text().contains(wanted, Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (shown && first == nullptr) {
            first = item;
        }
    }
    // Typing a name and pressing Return takes the first match.
    list_->setCurrentItem(first);
}

void RCAppChooser::onSure() {
    QListWidgetItem* item = list_->currentItem();
    if (item == nullptr || item->isHidden()) {
        return;
    }
    const DesktopEntry& entry =
        entries_[static_cast<std::size_t>(item->data(Qt::UserRole).toInt())];
    chosen_ = ChosenApp{entry.id, entry.name, desktopEntryIcon(entry)};
    accept();
}

void RCAppChooser::onOther() {
    const QString picked = fileChooser()(this, FileKind::Application);
    if (picked.isEmpty()) {
        return;
    }
    const std::string path = qt::pathBytes(picked);
    if (endsWith(path, ".desktop")) {
        const auto entry = readDesktopEntry(path);
        if (entry && isLaunchable(*entry)) {
            chosen_ =
                ChosenApp{path, isValid(entry->name) ? entry->name : fs::path(path).stem().string(),
                          desktopEntryIcon(*entry)};
            accept();
            return;
        }
    } else if (std::error_code error;
               fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0) {
        // The open command starts desktop entries: write one that runs the program.
        const std::string folder = manager().appIconFolder();
        const std::string name = fs::path(path).filename().string();
        const std::string desktop = (fs::path(folder) / (uuid() + ".desktop")).string();
        std::ofstream out(desktop, std::ios::binary | std::ios::trunc);
        out << desktopEntryForProgram(name, path);
        out.close();
        if (!folder.empty() && out) {
            chosen_ = ChosenApp{desktop, name,
                                QIcon::fromTheme(QStringLiteral("application-x-executable"))};
            accept();
            return;
        }
    }
    QtUserInterface ui(this);
    ui.runAlert({localized("Not An Application Tip"), {}, {}, AlertStyle::Informational});
}

RCOpenWithViewCtl::RCOpenWithViewCtl(QWidget* parent)
    : ListPage(Parts{
                   .list = kAppListKey,
                   .load = [] { return manager().commonAppMenuArray(); },
                   .columns =
                       {
                           {ColumnKind::Name,
                            qt::text(formatText("%@ (%@, %@)",
                                                {localized("App Name"), localized("Drag Sort"),
                                                 localized("Double Click Change")})),
                            [](const RCMenuItem& item) {
                                return qt::text(isValid(item.displayName) ? item.menuTitle()
                                                                          : item.appName);
                            }},
                           {ColumnKind::ToMainMenu, label("Add to main menu")},
                           {ColumnKind::Enable, label("Enable")},
                       },
                   .limit = 50,
                   .mainMenuCopy = mainMenuCopy,
                   .recover = [] { return RCDefaultData::recoverCommonApp(); },
               },
               parent) {
    refresh();
}

void RCOpenWithViewCtl::addEntry() {
    RCAppChooser chooser(window());
    if (chooser.exec() != QDialog::Accepted || !chooser.chosen()) {
        return;
    }
    addApplication(*chooser.chosen());
}

void RCOpenWithViewCtl::addApplication(const ChosenApp& app) {
    // One icon file per application name: a second application of that name overwrites it.
    std::string iconName = app.name;
    std::replace(iconName.begin(), iconName.end(), '/', '-');
    const std::string iconPath =
        (fs::path(manager().appIconFolder()) / (iconName + ".png")).string();
    saveIconPng(app.icon.pixmap(QSize(60, 60)).toImage(), qt::pathText(iconPath));
    appendEntry(Dict{{"key", Value(uuid())},
                     {"appName", Value(app.appName)},
                     {"displayName", Value(app.name)},
                     {"iconPath", Value(iconPath)}});
}

void RCOpenWithViewCtl::editEntry(const RCMenuItem& item) {
    renameEntry(qt::text(item.menuTitle()), true, [this, item](const std::string& typed) {
        updateEntry(item, Dict{{"displayName", Value(typed)}});
    });
}

void RCOpenWithViewCtl::entryRemoved(const RCMenuItem& item) {
    if (ownsDesktopFile(item.appName)) {
        std::error_code error;
        fs::remove(item.appName, error);
    }
}

}  // namespace tf

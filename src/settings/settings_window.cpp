#include "settings/settings_window.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStackedWidget>
#include <QUrl>
#include <QWindow>

#include <algorithm>

#include "model/menu_manager.h"
#include "model/product.h"
#include "platform/qt/qt_edge.h"
#include "util/strings.h"

namespace tf {
namespace {

QString label(const char* key) {
    return qt::text(localized(key));
}

QString withName(const char* key) {
    return qt::text(localizedFormat(key, {displayName()}));
}

}  // namespace

const std::vector<PageInfo>& pageTable() {
    static const std::vector<PageInfo> table = {
        {PageId::General, "general", "General", "preferences-system"},
        {PageId::NewFile, "newfile", "New File", "document-new"},
        {PageId::CommonPath, "commonpath", "Common Path", "folder"},
        {PageId::CommonApp, "commonapp", "Common App", "applications-other"},
        {PageId::FolderIcon, "foldericon", "Folder Icon", "folder-pictures"},
        {PageId::CommonScript, "commonscript", "Common Script", "text-x-script"},
        {PageId::Preferences, "preferences", "Preferences", "preferences-other"},
    };
    return table;
}

const PageInfo* pageInfo(PageId id) {
    for (const PageInfo& info : pageTable()) {
        if (info.id == id) {
            return &info;
        }
    }
    return nullptr;
}

const PageInfo* pageInfo(const QString& identifier) {
    for (const PageInfo& info : pageTable()) {
        if (identifier == QLatin1String(info.identifier)) {
            return &info;
        }
    }
    return nullptr;
}

RefreshSignal::RefreshSignal() {
    // A window of ours became active: the user may come back from another program (the CLI,
    // the file manager's menu) or from another of our windows, so every page reads again.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window != nullptr) {
            emit refresh();
        }
    });
}

RefreshSignal& RefreshSignal::instance() {
    static auto* signal = new RefreshSignal;
    return *signal;
}

SettingsWindow::SettingsWindow(QWidget* parent) : QMainWindow(parent) {
    // Outside a desktop session Qt names no icon theme, and the side list would be bare.
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor") {
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    }
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    sideList_ = new QListWidget(central);
    sideList_->setObjectName("pageList");
    sideList_->setIconSize(QSize(24, 24));
    sideList_->setSpacing(2);
    sideList_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    stack_ = new QStackedWidget(central);
    layout->addWidget(sideList_);
    layout->addWidget(stack_, 1);
    setCentralWidget(central);
    connect(sideList_, &QListWidget::currentRowChanged, stack_, &QStackedWidget::setCurrentIndex);

    buildMenus();
    refreshWindowTitle();
    resize(820, 560);
}

void SettingsWindow::buildMenus() {
    QMenu* app = menuBar()->addMenu(qt::text(displayName()));
    QAction* about = app->addAction(withName("Menu Abount"), this, &SettingsWindow::showAbout);
    about->setMenuRole(QAction::AboutRole);
    app->addAction(withName("Menu Feedback"), this, &SettingsWindow::openFeedback);
    app->addSeparator();
    QAction* close = app->addAction(label("Close Window"), this, &QWidget::close);
    close->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(QKeySequence::Close)});
    QAction* quit = app->addAction(withName("Menu Quit"), qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);

    QMenu* help = menuBar()->addMenu(label("Menu Help"));
    QAction* helpAction =
        help->addAction(withName("Help Contents"), this, &SettingsWindow::openHelp);
    helpAction->setShortcut(QKeySequence(Qt::Key_F1));
}

void SettingsWindow::addPage(PageId id, QWidget* page, const QIcon& icon, const QString& title) {
    const auto same = [id](const Entry& entry) { return entry.id == id; };
    if (std::any_of(pages_.begin(), pages_.end(), same)) {
        delete page;
        return;
    }
    const PageInfo* info = pageInfo(id);
    const auto place = std::find_if(pages_.begin(), pages_.end(),
                                    [id](const Entry& entry) { return entry.id > id; });
    const int index = static_cast<int>(place - pages_.begin());
    pages_.insert(place, {id, page});

    auto* item = new QListWidgetItem(icon.isNull() ? QIcon::fromTheme(info->iconName) : icon,
                                     title.isEmpty() ? label(info->labelKey) : title);
    item->setData(Qt::UserRole, QString::fromLatin1(info->identifier));
    const QWidget* shown = stack_->currentWidget();
    stack_->insertWidget(index, page);
    sideList_->insertItem(index, item);
    sideList_->setCurrentRow(shown == nullptr ? index : stack_->indexOf(shown));
    sideList_->setFixedWidth(sideList_->sizeHintForColumn(0) + 2 * sideList_->frameWidth() + 16);
}

std::vector<PageId> SettingsWindow::pageOrder() const {
    std::vector<PageId> order;
    for (const Entry& entry : pages_) {
        order.push_back(entry.id);
    }
    return order;
}

QWidget* SettingsWindow::page(PageId id) const {
    for (const Entry& entry : pages_) {
        if (entry.id == id) {
            return entry.page;
        }
    }
    return nullptr;
}

PageId SettingsWindow::currentPage() const {
    const int row = sideList_->currentRow();
    return row < 0 ? PageId::General : pages_[static_cast<std::size_t>(row)].id;
}

bool SettingsWindow::showPage(PageId id) {
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (pages_[i].id == id) {
            sideList_->setCurrentRow(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

void SettingsWindow::open() {
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    show();
    raise();
    activateWindow();
}

bool SettingsWindow::openWindow() {
    constexpr std::int64_t kOpenForAirDrop = 7;
    constexpr std::int64_t kOpenForDesktopPicture = 8;
    SettingsStore& store = RCMenuManager::sharedInstance().sharedDefaults();
    const Value reason = store.value("main open key");
    if (!reason.isNull()) {
        store.remove("main open key");
    }
    const std::int64_t* code = reason.integer();
    if (code != nullptr && (*code == kOpenForAirDrop || *code == kOpenForDesktopPicture)) {
        return false;
    }
    open();
    return true;
}

void SettingsWindow::refreshWindowTitle() {
    setWindowTitle(qt::text(displayName()));
}

void SettingsWindow::showAbout() {
    QMessageBox::about(
        this, withName("Menu Abount"),
        qt::text(localizedFormat("About Text", {displayName(), std::string(kProductVersion)})));
}

void SettingsWindow::openFeedback() {
    QDesktopServices::openUrl(QUrl(qt::text(std::string(kFeedbackPage))));
}

void SettingsWindow::openHelp() {
    QDesktopServices::openUrl(QUrl(qt::text(std::string(kHelpPage))));
}

}  // namespace tf

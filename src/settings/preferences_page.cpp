#include "settings/preferences_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <string>

#include "model/product.h"
#include "model/settings_store.h"
#include "platform/qt/qt_edge.h"
#include "settings/extension_status.h"
#include "settings/name_sheet.h"
#include "settings/status_dialog.h"
#include "settings/tray.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {
namespace {

constexpr std::string_view kConfigChange = "config change noti";
constexpr std::string_view kFoldNameKey = "fold menu name";
constexpr int kExternalDisksTag = 3;
constexpr int kTrayTag = 5;

struct Option {
    int tag;
    std::string_view label;
};

// In the order the page shows them; the tag is the number in the settings key.
constexpr std::array<Option, 6> kOptions{{
    {1, "Check Hide MainMenu Icon"},
    {4, "Check Hide SubMenu Icon"},
    {8, "Check Hide FoldMenu Icon"},
    {2, "Check Hide Set Menu"},
    {kExternalDisksTag, "Check External Disks Enable"},
    {kTrayTag, "Check Show Top StatusBar"},
}};

std::string keyFor(int tag) {
    return "pref check" + std::to_string(tag);
}

QString textFor(std::string_view key) {
    return qt::text(localized(key));
}

// A note under the control it explains, indented to the control's text.
QLabel* tipLabel(const QString& text, QWidget* parent) {
    constexpr int kIndent = 22;
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setEnabled(false);
    label->setIndent(kIndent);
    return label;
}

void showBlue(QPushButton* button, const QString& text) {
    button->setText(text);
    button->setStyleSheet(QStringLiteral("color: palette(link);"));
}

}  // namespace

std::optional<QString> editName(QWidget* parent, const QString& current) {
    // The same sheet the general page renames entries with, so the rules (length, blanks)
    // are the same.
    RCEditNameWinCtl sheet(parent);
    sheet.setDefaultAlias(current);
    sheet.setTipLabelString(textFor("Fold Menu Name Prompt"));
    std::optional<QString> chosen;
    sheet.editHandler = [&chosen](const QString& name) { chosen = name; };
    sheet.setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    sheet.exec();
    return chosen;
}

PreferencesPage::PreferencesPage(SettingsStore& shared, Tray& tray, Actions actions,
                                 QWidget* parent)
    : QWidget(parent), shared_(shared), tray_(tray), actions_(std::move(actions)) {
    if (!actions_.editName) {
        actions_.editName = editName;
    }
    if (!actions_.restartExtension) {
        actions_.restartExtension = [] {
            static SessionExtensionBus bus;
            restartExtension(bus);
        };
    }
    if (!actions_.showExtensionStatus) {
        actions_.showExtensionStatus = [this] { showExtensionStatusDialog(window()); };
    }
    auto* layout = new QVBoxLayout(this);
    for (const auto& option : kOptions) {
        auto* box = new QCheckBox(textFor(option.label), this);
        const int tag = option.tag;
        connect(box, &QCheckBox::clicked, this, [this, tag](bool on) { onCheckAction(tag, on); });
        boxes_.emplace_back(tag, box);
        layout->addWidget(box);
        if (tag == kExternalDisksTag) {
            layout->addWidget(tipLabel(textFor("Check External Disks Enable Tip"), this));
        }
        if (tag == kTrayTag) {
            trayMissing_ = tipLabel(textFor("Tray Unavailable Tip"), this);
            layout->addWidget(trayMissing_);
        }
    }
    layout->addSpacing(12);

    auto* foldRow = new QHBoxLayout;
    foldRow->addWidget(new QLabel(textFor("Fold Menu Name (Click Modify)："), this));
    foldNameButton_ = new QPushButton(this);
    foldNameButton_->setFlat(true);
    foldNameButton_->setCursor(Qt::PointingHandCursor);
    connect(foldNameButton_, &QPushButton::clicked, this, &PreferencesPage::onModifyFoldName);
    foldRow->addWidget(foldNameButton_);
    foldRow->addStretch(1);
    layout->addLayout(foldRow);
    auto* foldTip = tipLabel(
        qt::text(formatText(
            "%@: %@",
            {localized("Tip"), localized("Click the Fold menu to enter the Settings page!")})),
        this);
    foldTip->setIndent(0);
    layout->addWidget(foldTip);
    layout->addSpacing(12);

    auto* statusRow = new QHBoxLayout;
    auto* status = new QPushButton(textFor("Extension Status Button"), this);
    connect(status, &QPushButton::clicked, this, [this] { actions_.showExtensionStatus(); });
    statusRow->addWidget(status);
    statusRow->addStretch(1);
    layout->addLayout(statusRow);
    layout->addStretch(1);

    auto* version = new QLabel(
        qt::text(localizedFormat("Version Format", {std::string(kProductVersion)})), this);
    version->setAlignment(Qt::AlignRight);
    version->setEnabled(false);
    layout->addWidget(version);

    addNotification(kConfigChange);
    refreshBaseInfo();
}

PreferencesPage::~PreferencesPage() {
    removeAllNotification();
}

QCheckBox* PreferencesPage::checkBox(int tag) const {
    for (const auto& [boxTag, box] : boxes_) {
        if (boxTag == tag) {
            return box;
        }
    }
    return nullptr;
}

void PreferencesPage::refreshBaseInfo() {
    const std::string name = shared_.readString(kFoldNameKey);
    showBlue(foldNameButton_, qt::text(isValid(name) ? name : displayName()));
    for (const auto& [tag, box] : boxes_) {
        box->setChecked(shared_.readBool(keyFor(tag)));
    }
    showTrayHostState();
}

void PreferencesPage::showTrayHostState() {
    trayMissing_->setVisible(!tray_.hostAvailable());
}

void PreferencesPage::handleSignal(const Notification& notification) {
    if (notification.name == kConfigChange) {
        refreshBaseInfo();
    }
}

void PreferencesPage::showEvent(QShowEvent* event) {
    refreshBaseInfo();
    QWidget::showEvent(event);
}

void PreferencesPage::onCheckAction(int tag, bool on) {
    shared_.set(keyFor(tag), Value(on));
    if (tag == kExternalDisksTag) {
        actions_.restartExtension();
    } else if (tag == kTrayTag) {
        tray_.createStatusBar();
        showTrayHostState();
    }
}

void PreferencesPage::onModifyFoldName() {
    const auto typed = actions_.editName(window(), foldNameButton_->text());
    if (!typed) {
        return;
    }
    const std::string text = qt::text(*typed);
    const std::string name = isValid(text) ? text : displayName();
    shared_.set(kFoldNameKey, Value(name));
    showBlue(foldNameButton_, qt::text(name));
}

}  // namespace tf

// The preferences page: display options of the context menu, the tray switch, the external
// disks switch (which restarts the menu service), the fold menu's name and the version.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

#include "runtime/notifications.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tf {

class SettingsStore;
class Tray;

// Asks for a new name, starting from `current`; nothing when the user cancelled.
std::optional<QString> editName(QWidget* parent, const QString& current);

class PreferencesPage : public QWidget, public SignalObserver {
    Q_OBJECT

  public:
    struct Actions {
        // Ends the menu service and starts a fresh one (the external disks switch); the
        // session bus's service when empty.
        std::function<void()> restartExtension;
        // Shows the per-file-manager status dialog; the real machine's when empty.
        std::function<void()> showExtensionStatus;
        // The name dialog; editName when empty.
        std::function<std::optional<QString>(QWidget*, const QString&)> editName;
    };

    PreferencesPage(SettingsStore& shared, Tray& tray, Actions actions, QWidget* parent = nullptr);
    ~PreferencesPage() override;

    // Reads every check box and the fold name from the settings again.
    void refreshBaseInfo();
    void handleSignal(const Notification& notification) override;

    // The check box stored under "pref check<tag>", or null.
    QCheckBox* checkBox(int tag) const;
    QPushButton* foldNameButton() const { return foldNameButton_; }
    QLabel* trayMissingLabel() const { return trayMissing_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void onCheckAction(int tag, bool on);
    void onModifyFoldName();
    void showTrayHostState();

    SettingsStore& shared_;
    Tray& tray_;
    Actions actions_;
    std::vector<std::pair<int, QCheckBox*>> boxes_;
    QPushButton* foldNameButton_ = nullptr;
    QLabel* trayMissing_ = nullptr;
};

}  // namespace tf

// Dolphin's entry point: asks the menu service for the entries of what was right-clicked.
#include <KAbstractFileItemActionPlugin>
#include <KFileItemListProperties>
#include <KPluginFactory>
#include <QAction>
#include <QPointer>

#include "menu_actions.h"
#include "menu_request.h"
#include "menu_service_client.h"
#include "shown_folder.h"

namespace tf::dolphin {

class FileItemAction : public KAbstractFileItemActionPlugin {
    Q_OBJECT

  public:
    FileItemAction(QObject* parent, const QVariantList& /*args*/)
        : KAbstractFileItemActionPlugin(parent) {}

    QList<QAction*> actions(const KFileItemListProperties& fileItemInfos,
                            QWidget* parentWidget) override {
        // Dolphin asks again on every right-click, after the previous menu has closed; the
        // actions of that menu go now instead of piling up for the life of the window.
        if (built_ != nullptr) {
            built_->deleteLater();
        }
        const std::optional<MenuRequest> request =
            menuRequestFor(fileItemInfos.items(), shownFolder(parentWidget));
        if (!request) {
            return {};
        }
        const std::optional<ServiceMenu> menu = client_.getMenu(*request);
        if (!menu || menu->entries.isEmpty()) {
            return {};
        }
        built_ = new QObject(this);
        const MenuServiceClient client = client_;
        return buildActions(*menu, built_,
                            [client](quint64 menuId, qint64 tag) { client.activate(menuId, tag); });
    }

  private:
    MenuServiceClient client_;
    QPointer<QObject> built_;
};

}  // namespace tf::dolphin

K_PLUGIN_CLASS_WITH_JSON(tf::dolphin::FileItemAction, "trackfolio_dolphin.json")

#include "file_item_action.moc"

#include "platform/qt/folder_dialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

#include <vector>

#include "platform/qt/qt_edge.h"

namespace tf {
namespace {

// QFileDialog has no message row: shift its grid down one row and put the message on top.
void addMessageRow(QFileDialog& dialog, const QString& message) {
    auto* label = new QLabel(message, &dialog);
    label->setObjectName(QStringLiteral("message"));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (grid == nullptr) {
        label->hide();
        dialog.setWindowTitle(message);
        return;
    }
    struct Placed {
        QLayoutItem* item;
        int row, column, rowSpan, columnSpan;
    };
    std::vector<Placed> placed;
    while (grid->count() > 0) {
        Placed entry{};
        grid->getItemPosition(0, &entry.row, &entry.column, &entry.rowSpan, &entry.columnSpan);
        entry.item = grid->takeAt(0);
        placed.push_back(entry);
    }
    for (const Placed& entry : placed) {
        grid->addItem(entry.item, entry.row + 1, entry.column, entry.rowSpan, entry.columnSpan,
                      entry.item->alignment());
    }
    grid->addWidget(label, 0, 0, 1, grid->columnCount());
}

}  // namespace

std::optional<std::string> runFolderDialog(const FolderRequest& request, QWidget* parent) {
    QFileDialog dialog(parent, qt::windowTitle());
    // Our own widgets, so the message row exists and the dialog looks the same everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!request.prompt.empty()) {
        dialog.setLabelText(QFileDialog::Accept, qt::text(request.prompt));
    }
    const std::string start = qt::representablePath(request.startFolder);
    if (!start.empty()) {
        dialog.setDirectory(qt::pathText(start));
    }
    if (!request.message.empty()) {
        addMessageRow(dialog, qt::text(request.message));
    }
    qt::bringToFront(&dialog);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return qt::pathBytes(chosen.front(), request.startFolder);
}

}  // namespace tf

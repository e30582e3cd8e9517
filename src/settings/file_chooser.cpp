#include "settings/file_chooser.h"

#include <QFileDialog>
#include <QImage>

namespace tf {
namespace {

QString filterFor(FileKind kind) {
    switch (kind) {
        case FileKind::Image:
            return QStringLiteral("*.png *.jpg *.jpeg *.jp2 *.tiff *.bmp *.gif *.webp");
        case FileKind::Application:
            return QStringLiteral("*");
        case FileKind::Any:
            break;
    }
    return {};
}

QString chooseWithDialog(QWidget* parent, FileKind kind) {
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (const QString filter = filterFor(kind); !filter.isEmpty()) {
        dialog.setNameFilter(filter);
    }
    if (kind == FileKind::Application) {
        dialog.setDirectory(QStringLiteral("/usr/share/applications"));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

}  // namespace

FileChooser& fileChooser() {
    static FileChooser chooser = chooseWithDialog;
    return chooser;
}

bool saveIconPng(const QImage& image, const QString& target) {
    if (image.isNull()) {
        return false;
    }
    return image.scaled(60, 60, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .save(target, "PNG");
}

}  // namespace tf

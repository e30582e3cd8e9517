// Asking the user for one file. The pages go through a replaceable chooser so that tests can
// answer without a dialog; the default is Qt's own (non-native) file dialog.
#pragma once

#include <QString>

#include <functional>

class QImage;
class QWidget;

namespace tf {

enum class FileKind {
    Any,          // any file
    Image,        // png, jpg, jpeg, jp2, tiff, bmp, gif, webp
    Application,  // a .desktop file or an executable
};

// The chosen path, or an empty string when the user cancelled.
using FileChooser = std::function<QString(QWidget* parent, FileKind kind)>;

// The chooser every page uses; assign to replace it (tests).
FileChooser& fileChooser();

// Writes the image as a 60 × 60 PNG at `target`, stretched to fill. False when nothing was
// written (a null image, a folder that cannot be written).
bool saveIconPng(const QImage& image, const QString& target);

}  // namespace tf

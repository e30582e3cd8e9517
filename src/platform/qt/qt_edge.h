// Where the engine's std::string texts and paths meet Qt, and what every window of the
// service does when it appears over the file manager.
#pragma once

#include <QString>

#include <string>

class QWidget;

namespace tf::qt {

QString text(const std::string& utf8);
std::string text(const QString& text);

// Paths are bytes in the engine; the file-name codec maps them at the edge.
QString pathText(const std::string& path);
std::string pathBytes(const QString& path);

// The bytes for a path the user picked. When it is `known` or lies inside it, the known
// bytes are kept, so a folder whose name is not valid UTF-8 survives the trip through Qt.
std::string pathBytes(const QString& chosen, const std::string& known);

// The path itself when Qt can name it, else its nearest folder above that Qt can: Qt maps
// bytes that are not UTF-8 to replacement characters, so it could not open such a folder.
std::string representablePath(const std::string& path);

// The title of the service's windows: the product's display name.
QString windowTitle();

// The file manager has the focus when our windows open: keep the window above it while it
// is shown and ask for activation once it is on screen. Call before show() or exec().
void bringToFront(QWidget* window);

// Prints "shown after N ms" for the start-up benchmarks: N from the launch when
// $TRACKFOLIO_LAUNCHED_AT gives it (nanoseconds since the epoch), else from `sinceMs`.
void printShownAfter(long long sinceMs);

}  // namespace tf::qt

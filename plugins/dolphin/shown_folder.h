// The folder a Dolphin window shows in its active view.
#pragma once

#include <QUrl>

class QWidget;

namespace tf::dolphin {

// Read from the window's location bar: the visible URL navigator that is marked active (split
// views have one per side, hidden tabs keep theirs hidden), or the only visible one. Empty
// when `anyWidget` is null or its window has no such navigator.
QUrl shownFolder(const QWidget* anyWidget);

}  // namespace tf::dolphin

#pragma once
// Start-up: the eight windows of shell/windows.h, created in its order.

#include "shell/windows.h"

#include <QList>

class QWidget;

namespace skarvel {

// Creates the eight windows in the order of shell/windows.h (the
// application object must exist). The first becomes the application's main
// window.
void CreateWindows();
// Destroys them, the last created first.
void DestroyWindows();
// The windows in the order they were created.
QList<QWidget*> CreatedWindows();

}  // namespace skarvel

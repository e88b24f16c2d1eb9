#pragma once
// The program's windows: created once at start-up, in this order, and
// reachable from everywhere through these names until the program ends.
// All but the main window start hidden; closing a task window only hides it.

#include <QList>

class QWidget;

namespace skarvel {

class TMainForm;
class TRGBForm;
class TFOVForm;
class TMessForm;
class TScaleForm;
class TInterpolForm;
class TCutForm;
class TSkarvelAboutBox;

extern TMainForm* MainForm;
extern TRGBForm* RGBForm;
extern TFOVForm* FOVForm;
extern TMessForm* MessForm;
extern TScaleForm* ScaleForm;
extern TInterpolForm* InterpolForm;
extern TCutForm* CutForm;
extern TSkarvelAboutBox* SkarvelAboutBox;

// Creates the eight windows in the order above (the application object must
// exist). The first becomes the application's main window.
void CreateWindows();
// Destroys them, the last created first.
void DestroyWindows();
// The windows in the order they were created.
QList<QWidget*> CreatedWindows();

}  // namespace skarvel

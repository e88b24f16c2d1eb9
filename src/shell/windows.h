#pragma once
// The program's windows: created once at start-up, in this order (by
// CreateWindows, app/create_windows.h), and reachable from everywhere
// through these names until the program ends.
// All but the main window start hidden; closing a task window only hides it.

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

}  // namespace skarvel

#include "shell/windows.h"

namespace skarvel {

TMainForm* MainForm = nullptr;
TRGBForm* RGBForm = nullptr;
TFOVForm* FOVForm = nullptr;
TMessForm* MessForm = nullptr;
TScaleForm* ScaleForm = nullptr;
TInterpolForm* InterpolForm = nullptr;
TCutForm* CutForm = nullptr;
TSkarvelAboutBox* SkarvelAboutBox = nullptr;

}  // namespace skarvel

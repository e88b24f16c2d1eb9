#include "app/create_windows.h"
#include "app/main_form.h"
#include "colour/rgb_form.h"
#include "cut/cut_form.h"
#include "fov/fov_form.h"
#include "resampling/interpol_form.h"
#include "scaling/scale_form.h"
#include "shell/mess_form.h"

namespace skarvel {
namespace {

QList<QWidget*> g_created;

template <typename Form>
Form* Create(Form*& global) {
  global = new Form;
  g_created.append(global);
  return global;
}

}  // namespace

void CreateWindows() {
  Create(MainForm);
  Create(RGBForm);
  Create(FOVForm);
  Create(MessForm);
  Create(ScaleForm);
  Create(InterpolForm);
  Create(CutForm);
  Create(SkarvelAboutBox);
}

void DestroyWindows() {
  while (!g_created.isEmpty()) delete g_created.takeLast();
  MainForm = nullptr;
  RGBForm = nullptr;
  FOVForm = nullptr;
  MessForm = nullptr;
  ScaleForm = nullptr;
  InterpolForm = nullptr;
  CutForm = nullptr;
  SkarvelAboutBox = nullptr;
}

QList<QWidget*> CreatedWindows() { return g_created; }

}  // namespace skarvel

#pragma once
// The scene of one field-of-view list file: what the field-of-view window
// holds and shows. A load reads the list and its frames (scene/scene_frames.h)
// and draws the scene and its legend.
//
// Failures: an unreadable list ends the load before anything is cleared, so
// the previous picture stays. A list naming no frame, and every failure of
// the frames' load, end it with the drawing cleared; the corner lines already
// added stay. All of them propagate as skarvel::Error.

#include "geometry/records.h"
#include "scene/scene_frames.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include <vector>

namespace skarvel {

// One entry of the legend panel: a line in the frame's colour and its label,
// in column 1 or 2 of a row (row r's line lies on pixel row 30 + 30 r).
struct LegendEntry {
  TColor color = 0;
  QString label;
  int column = 1;
  int row = 0;
};

class FovScene : public SceneFrames {
 public:
  // A scene with nothing loaded: blank drawing, legend 650 x 60, the bench
  // system, the track point at (0, 0).
  FovScene();

  // Loads the list file and redraws the drawing and the legend in the
  // orientation system, which is remembered. An empty name changes nothing.
  void LoadFovList(const QString& listFileName, TOrientationSystem system);
  // Loads again with the current system.
  void LoadFovList(const QString& listFileName) { LoadFovList(listFileName, system_); }

  TOrientationSystem System() const { return system_; }
  void SetSystem(TOrientationSystem system) { system_ = system; }

  // The 1024 x 1024 drawing.
  const QImage& Drawing() const { return drawing_; }

  // The legend panel is not kept as a picture (a long list would make it
  // larger than memory): it is painted from its entries on demand, with the
  // pixels a picture of LegendWidth() x LegendHeight() would hold.
  const std::vector<LegendEntry>& LegendEntries() const { return legendEntries_; }
  int LegendWidth() const;
  int LegendHeight() const;
  // The legend's pixels in `area` (legend coordinates) as a picture of the
  // area's size; parts outside the legend are background.
  QImage LegendBand(const QRect& area) const;
  // Paints the legend's pixels in `area` at the same coordinates of the
  // painter (the visible part of a scroll box, for example).
  void PaintLegend(QPainter& painter, const QRect& area) const;

  const TSceneView& View() const { return view_; }

  // Save the drawing or the legend panel as a 24-bit Windows bitmap,
  // replacing the file atomically. The legend is painted and written in
  // bands, never whole.
  void SaveDrawing(const QString& fileName) const;
  void SaveLegend(const QString& fileName) const;

 private:
  void ClearPictures();
  void Draw();

  TOrientationSystem system_ = TOrientationSystem::Bench;
  QImage drawing_;
  std::vector<LegendEntry> legendEntries_;
  TSceneView view_;
};

// The suffix of the drawing's default file name beside the list.
inline const QString kDrawingSuffix = QStringLiteral("_fov.bmp");

// The message that ends a load of a list naming no frame.
QString NoFramesMessage(const QString& listFileName);

}  // namespace skarvel

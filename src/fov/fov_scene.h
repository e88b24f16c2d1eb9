#pragma once
// The scene of one field-of-view list file: what the field-of-view window
// holds and shows. A load reads the list, reads every frame's image geometry
// and camera files, projects the frame corners onto the scene plane, chains
// the first five frames into a strip and draws the scene and its legend.
//
// The list file: a line whose first two characters are "//" is a comment;
// every other line (blank ones too) is a data line. Data lines come in
// pairs, one per frame: the image geometry file name, then the camera file
// name, each followed by ";" and any text. Names without a folder are taken
// from the list file's folder (the folder the window shows when the list is
// picked). A lone data line after the last pair is ignored.
//
// Chaining: frames 2 and 3 follow frame 1 on the side of its corner A (frame
// 2's corner D moved onto frame 1's A, frame 3's D onto frame 2's A); frames
// 4 and 5 follow on the side of its corner D (frame 4's A onto frame 1's D,
// frame 5's A onto frame 4's D). Later frames stay where they were projected.
//
// Failures: the readers report their own faults through the message sink; a
// frame whose file cannot be read then ends the load. An unreadable list
// ends the load before anything is cleared, so the previous picture stays.
// Every other error (no frame in the list, an empty or non-numeric first
// companion line, a division by zero in the projection or the fitting) ends
// the load with the drawing cleared; the corner lines already added stay.
// All of them propagate as skarvel::Error.

#include "fov/projection.h"
#include "geometry/records.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

namespace skarvel {

// The index of the first line at or after `start` that is not a comment.
// Running past the last line raises the list's index error.
int SkipCommentLines(const QStringList& lines, int start);
// The same, with -1 when no data line is left.
int NextDataLine(const QStringList& lines, int start);

// Moves a footprint (the four corners of `corners` from `first` on) by the
// difference that puts corner `moved` onto corner `target` (both indices
// into `corners`; the differences are taken before anything moves).
void MoveFootprint(std::vector<VT_Point>& corners, size_t first, size_t moved, size_t target);

// One entry of the legend panel: a line in the frame's colour and its label,
// in column 1 or 2 of a row (row r's line lies on pixel row 30 + 30 r).
struct LegendEntry {
  TColor color = 0;
  QString label;
  int column = 1;
  int row = 0;
};

class FovScene {
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

  // Four corners per frame (A, B, C, D), chained; empty after a failed load.
  const DynamicArray<VT_Point>& Footprints() const { return footprints_; }
  // The ground point of the first frame's principal point (not chained).
  const VT_Point& TrackPoint() const { return trackPoint_; }
  // The image geometry of the last frame read (kept across loads).
  const TImageGeometry& Geometry() const { return geometry_; }
  // The hidden list of corner lines: per frame four lines "X  -  Y" (A, B,
  // C, D before chaining) and an empty line. Never cleared.
  const QStringList& CornerLines() const { return cornerLines_; }
  // The image geometry names of the last load, as written in the list.
  const QStringList& GeometryNames() const { return geometryNames_; }
  const TSceneView& View() const { return view_; }
  // Per frame, what its projection computed (the same count as the
  // footprints).
  const std::vector<FrameProjection>& Frames() const { return frames_; }

  // Save the drawing or the legend panel as a 24-bit Windows bitmap,
  // replacing the file atomically. The legend is painted and written in
  // bands, never whole.
  void SaveDrawing(const QString& fileName) const;
  void SaveLegend(const QString& fileName) const;

 private:
  void ClearPictures();
  // Reads the frames of the list into `corners`, four per frame, chained.
  void LoadFrames(const QStringList& lines, const QString& folder, std::vector<VT_Point>& corners);
  void Draw();

  TOrientationSystem system_ = TOrientationSystem::Bench;
  QImage drawing_;
  std::vector<LegendEntry> legendEntries_;
  DynamicArray<VT_Point> footprints_;
  std::vector<FrameProjection> frames_;
  VT_Point trackPoint_;
  TImageGeometry geometry_;
  QStringList cornerLines_;
  QStringList geometryNames_;
  TSceneView view_;
};

// The suffix of the drawing's default file name beside the list.
inline const QString kDrawingSuffix = QStringLiteral("_fov.bmp");

// The message that ends a load of a list naming no frame.
QString NoFramesMessage(const QString& listFileName);
// The message that ends a load after a reader reported a file of a frame,
// naming the file as it was opened (without the blanks before ";").
QString FrameFileMessage(const QString& fileName, int frame);

}  // namespace skarvel

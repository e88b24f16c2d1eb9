#pragma once
// The frames of one field-of-view list file on the scene plane: the list is
// read, every frame's image geometry and camera files are read, the frame
// corners are projected onto the scene plane and the first five frames are
// chained into a strip. What the field-of-view window draws, and what the
// footprint and relief figures are computed from.
//
// The list file: a line whose first two characters are "//" is a comment;
// every other line (blank ones too) is a data line. Data lines come in
// pairs, one per frame: the image geometry file name, then the camera file
// name, each followed by ";" and any text. Names without a folder are taken
// from the list file's folder (the folder the window shows when the list is
// picked). A lone data line after the last pair is ignored.
//
// Chaining (kStripLinks): frames 2 and 3 follow frame 1 on the side of its
// corner A (frame 2's corner D moved onto frame 1's A, frame 3's D onto
// frame 2's A); frames 4 and 5 follow on the side of its corner D (frame 4's
// A onto frame 1's D, frame 5's A onto frame 4's D). Later frames stay where
// they were projected.
//
// Failures: the readers report their own faults through the message sink; a
// frame whose file cannot be read then ends the load. Every other error (an
// empty or non-numeric first companion line, a division by zero in the
// projection) ends the load too; the frames and corner lines made before it
// stay. All of them propagate as skarvel::Error.

#include "geometry/records.h"
#include "scene/projection.h"

#include <QString>
#include <QStringList>

#include <array>
#include <utility>
#include <vector>

namespace skarvel {

// The index of the first line at or after `start` that is not a comment.
// Running past the last line raises the list's index error.
int SkipCommentLines(const QStringList& lines, int start);
// The same, with -1 when no data line is left.
int NextDataLine(const QStringList& lines, int start);

// The data lines of each frame of a list: (image geometry line, camera line).
std::vector<std::pair<int, int>> ListFrameLines(const QStringList& lines);

// Corners of a footprint, in the order they are stored.
enum class Corner { A = 0, B = 1, C = 2, D = 3 };

// One link of the strip: frame `frame`'s corner `moved` is put onto corner
// `target` of frame `neighbour` (frames 1-based).
struct StripLink {
  int frame;
  Corner moved;
  int neighbour;
  Corner target;
};
inline constexpr std::array<StripLink, 4> kStripLinks{{{2, Corner::D, 1, Corner::A},
                                                       {3, Corner::D, 2, Corner::A},
                                                       {4, Corner::A, 1, Corner::D},
                                                       {5, Corner::A, 4, Corner::D}}};
// The frame that `frame` is chained to, 0 for none.
int StripNeighbour(int frame);

// Moves a footprint (the four corners of `corners` from `first` on) by the
// difference that puts corner `moved` onto corner `target` (both indices
// into `corners`; the differences are taken before anything moves).
void MoveFootprint(std::vector<VT_Point>& corners, size_t first, size_t moved, size_t target);

class SceneFrames {
 public:
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
  // Per frame, what its projection computed (the same count as the
  // footprints).
  const std::vector<FrameProjection>& Frames() const { return frames_; }

 protected:
  // Drops the frames of the previous load (the corner lines and the last
  // geometry stay).
  void ClearFrames();
  // Reads, projects and chains the frames of the list's lines, the names
  // taken from `folder`. What was made before a failure is kept.
  void LoadFrames(const QStringList& lines, const QString& folder, TOrientationSystem system);

 private:
  DynamicArray<VT_Point> footprints_;
  std::vector<FrameProjection> frames_;
  VT_Point trackPoint_;
  TImageGeometry geometry_;
  QStringList cornerLines_;
  QStringList geometryNames_;
};

// The message that ends a load after a reader reported a file of a frame,
// naming the file as it was opened (without the blanks before ";").
QString FrameFileMessage(const QString& fileName, int frame);

}  // namespace skarvel

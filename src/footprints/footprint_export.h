#pragma once
// The footprint figures as files for spreadsheets and GIS tools.
//
// CSV: UTF-8, a header row, then one row per frame in list order, fields
// separated by "," and rows ended by CR LF; numbers with "." as the decimal
// separator in the shortest form that reads back to the same double; a name
// holding ",", '"' or a line end is quoted with '"' doubled. Columns:
//   frame, name, a_x, a_y, b_x, b_y, c_x, c_y, d_x, d_y, area, gsd_row,
//   gsd_column, not_convex, horizon, behind_camera (0 or 1), strip_neighbour,
//   strip_overlap_pct, overlap_pct (empty when there is none, or the frame
//   is left out of the overlaps).
//
// GeoJSON: a FeatureCollection with one Feature per frame (its id the frame
// number), a Polygon whose ring starts at corner A and runs counter-clockwise
// (A, B, C, D, A, or A, D, C, B, A for a footprint whose corners run
// clockwise; "corner_order" tells which), and the figures as properties under
// the CSV's names (null for none). The collection carries "union_area".
// Coordinates are the scene's own, with no geographic reference.
//
// Both are written atomically: a failure leaves the previous file.

#include "footprints/footprint_figures.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace skarvel {

QByteArray FootprintsCsv(const SceneFigures& figures);
QByteArray FootprintsGeoJson(const SceneFigures& figures);

void WriteFootprintsCsv(const QString& fileName, const SceneFigures& figures);
void WriteFootprintsGeoJson(const QString& fileName, const SceneFigures& figures);

// The relief figures of frames [begin, end) of the list.
using ReliefSource = std::function<std::vector<FrameRelief>(int begin, int end)>;

// The CSV and the GeoJSON, each when its name is not empty, in one pass over
// the frames: with `relief` the relief figures are asked for a block of
// frames at a time, in list order, and dropped once the block is written (in
// place of figures.relief), so that a long list never holds every outline at
// once. The bytes are those of the two calls above with every frame's relief
// figures in figures.relief.
void WriteFootprintExports(const QString& csvName, const QString& geojsonName, const SceneFigures& figures,
                           const ReliefSource& relief);

// Whether the GeoJSON ring of a footprint runs A, D, C, B (its corners turn
// clockwise); false for a footprint that is not convex.
bool RingReversed(const SceneQuad& quad);

}  // namespace skarvel

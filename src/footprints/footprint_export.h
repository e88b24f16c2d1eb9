#pragma once
// The footprint figures as files for spreadsheets and GIS tools. Their
// columns are those of ExportColumns(): one table (footprint_export.cc)
// declares each column once, with its name, the files it is written to (in
// every one, or only when the figures come with a relief) and how its value
// is read from a frame's figures; the CSV's header and column order and the
// GeoJSON's properties are made from that table alone.
//
// CSV: UTF-8, a header row of the column names in the table's order, then
// one row per frame in list order, fields separated by "," and rows ended
// by CR LF; numbers with "." as the decimal separator in the shortest form
// that reads back to the same double, counts as whole numbers, flags as 0
// or 1; a name holding ",", '"' or a line end is quoted with '"' doubled; a
// figure that does not apply (or a frame left out of the overlaps) is an
// empty field. The relief outline is quoted well-known text,
// "POLYGON((x y,...))", empty when there is none.
//
// GeoJSON: a FeatureCollection carrying "union_area", with one Feature per
// frame (its id the frame number). Without a relief its geometry is a
// Polygon whose ring starts at corner A and runs counter-clockwise (A, B,
// C, D, A, or A, D, C, B, A for a footprint whose corners run clockwise;
// "corner_order" tells which); with one it is the relief outline, closed
// and counter-clockwise from its first point (null when there is none), and
// the plane corners go to the properties. The properties are the table's
// GeoJSON columns, sorted by name as a JSON object keeps its members, null
// for a figure that does not apply, flags as true or false. Coordinates are
// the scene's own, with no geographic reference.
//
// Both are written atomically: a failure leaves the previous file. Written
// together, they are one group of files replaced together (FileCommitGroup):
// a failure to put either in place leaves both previous files.

#include "footprints/footprint_figures.h"
#include "platform/files.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace skarvel {

// Which frames' figures a file holds a column for.
enum class ColumnPresence : unsigned char {
  kNever,
  kAlways,
  kWithRelief,  // only when the figures come with a relief
};

struct ExportColumn {
  std::string_view name;
  ColumnPresence csv = ColumnPresence::kNever;
  ColumnPresence geojson = ColumnPresence::kNever;
};

// Every column of the two files, in the CSV's order.
std::span<const ExportColumn> ExportColumns();
// Whether a column so present is written to a file with or without a relief.
constexpr bool Written(ColumnPresence presence, bool withRelief) {
  return presence == ColumnPresence::kAlways || (presence == ColumnPresence::kWithRelief && withRelief);
}

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
// The same two files written into `group`, to be put in place with its other
// members when the group is committed.
void AddFootprintExports(FileCommitGroup& group, const QString& csvName, const QString& geojsonName,
                         const SceneFigures& figures, const ReliefSource& relief);

// Whether the GeoJSON ring of a footprint runs A, D, C, B (its corners turn
// clockwise); false for a footprint that is not convex.
bool RingReversed(const SceneQuad& quad);

}  // namespace skarvel

#pragma once
// The coverage map as a picture: the relief as a hill shade underneath, each
// cell coloured by the number of frames that see it, cells that some frame's
// view holds but no frame sees tinted purple, cells outside every view
// hatched, and the relief outlines of the frames drawn over it. The legend
// is painted apart (PaintCoverageLegend), at the size of the screen's text
// whatever the map's zoom, with the very fills of the map.
//
// Layout: the map's cells as squares of `CoverageCellPixels` pixels, column
// 0 (least X) on the left and the greatest Y at the top, as on the
// field-of-view drawing.
//
// The hill shade follows the relief's surface model: over blocks one tone
// per cell, from the slope between the cell's neighbours; over the bilinear
// surface one tone per picture pixel, from the slope of the surface
// interpolated between the cell centres at that pixel, so that the shading
// runs smoothly across the cells as the surface does (at one pixel a cell
// the two are the same tone).

#include "footprints/footprint_figures.h"
#include "platform/raster.h"
#include "relief/relief_surface.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSize>

#include <cstdint>
#include <vector>

namespace skarvel {

// Pixels per cell side: whole pixels, so that the map is at least 512 pixels
// across its longer side (one pixel a cell from 512 cells on).
int CoverageCellPixels(const GridGeometry& grid);

// The hill shade's grey on level ground (light from the upper left: 0 to
// 255, the ground facing away from the light darkest).
inline constexpr int kLevelShade = 191;

// What a cell shows: seen by `count` frames (1 and up), else hidden in some
// frame's view, else outside every view.
struct CoverageCell {
  std::uint32_t count = 0;
  bool hidden = false;
};

// The fill of the picture pixel (x, y) of such a cell over ground shaded
// `shade`: the map and the legend's swatches are painted with it alone.
QRgb CoverageFill(const CoverageCell& cell, int shade, int x, int y);

// `counts` and `hidden` as ComputeCoverage gives them (row-major, row 0 at
// the least Y); `figures` the frames' relief figures (their outlines drawn).
QImage CoveragePicture(const HeightMap& relief, const std::vector<std::uint32_t>& counts,
                       const std::vector<std::uint32_t>& hidden, const std::vector<FrameRelief>& figures,
                       ReliefSurfaceModel model = ReliefSurfaceModel::kBilinear);

// The legend: a caption that the counts are of frames, a swatch for each of
// 1, 2, 3, 4 and 5+, then "скрыто" and "не видно", in `font`. Its size, and
// its painting with the top left corner at the painter's origin.
QSize CoverageLegendSize(const QFont& font);
void PaintCoverageLegend(QPainter& painter, const QFont& font);
// The caption over the counts' swatches.
QString CoverageLegendCaption();

}  // namespace skarvel
